// Loading the text table from the library's resources, and translating window trees.
#include "nls/window_translation.h"

#include <commctrl.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace tb {
namespace {

// Read limits: window texts and class names into 1000 bytes, tab labels and header
// items with 9999 characters into 10000 bytes.
constexpr int kWindowTextSize = 1000;
constexpr int kItemTextSize = 10000;

constexpr char kNlsResourceType[] = "NLSDATA";

// One pass over a window tree. The buffers are shared by the whole walk so that deep
// trees do not pile 10000-byte frames onto the stack.
class TreeTranslator {
 public:
  explicit TreeTranslator(const NlsTranslator& translator)
      : translator_(translator), text_(kItemTextSize), translated_() {}

  void Walk(HWND window) {
    TranslateWindowText(window);
    char className[kWindowTextSize] = {};
    GetClassNameA(window, className, kWindowTextSize);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    if (lstrcmpiA(className, "COMBOBOX") == 0) {
      if (!(style & CBS_SORT) &&
          HasItemTexts(style, CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE, CBS_HASSTRINGS)) {
        TranslateComboItems(window);
      }
    } else if (lstrcmpiA(className, "LISTBOX") == 0) {
      if (!(style & LBS_SORT) &&
          HasItemTexts(style, LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE, LBS_HASSTRINGS)) {
        TranslateListItems(window, style);
      }
    } else if (lstrcmpiA(className, WC_TABCONTROLA) == 0) {
      TranslateTabItems(window);
    } else if (lstrcmpiA(className, WC_HEADERA) == 0) {
      TranslateHeaderItems(window);
    }
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      Walk(child);
    }
  }

 private:
  // Owner-drawn boxes without the strings flag keep only item data where the texts
  // would be: there is nothing to translate, and rewriting items would lose nothing
  // visible but could confuse the owner.
  static bool HasItemTexts(LONG style, LONG ownerDrawn, LONG hasStrings) {
    return !(style & ownerDrawn) || (style & hasStrings);
  }

  void TranslateWindowText(HWND window) {
    char text[kWindowTextSize] = {};
    GetWindowTextA(window, text, kWindowTextSize);
    translator_.Translate(text, &translated_);
    SetWindowTextA(window, translated_.c_str());
  }

  // The text of item `index` through a length and a text message; false when the
  // control refuses.
  bool ReadItem(HWND box, UINT lengthMessage, UINT textMessage, WPARAM index) {
    const LRESULT length = SendMessageA(box, lengthMessage, index, 0);
    if (length < 0) return false;
    std::vector<char> buffer(size_t(length) + 1, '\0');
    if (SendMessageA(box, textMessage, index, reinterpret_cast<LPARAM>(buffer.data())) < 0) {
      return false;
    }
    translator_.Translate(buffer.data(), &translated_);
    return true;
  }

  // Each item is replaced in place: the translation goes in at its index first and the
  // old item is deleted after, so a control that refuses the new text loses nothing.
  void TranslateComboItems(HWND box) {
    const LRESULT selected = SendMessageA(box, CB_GETCURSEL, 0, 0);
    const LRESULT count = SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      if (!ReadItem(box, CB_GETLBTEXTLEN, CB_GETLBTEXT, WPARAM(i))) continue;
      const LRESULT data = SendMessageA(box, CB_GETITEMDATA, WPARAM(i), 0);
      const LRESULT at = SendMessageA(box, CB_INSERTSTRING, WPARAM(i),
                                      reinterpret_cast<LPARAM>(translated_.c_str()));
      if (at != i) {
        if (at >= 0) SendMessageA(box, CB_DELETESTRING, WPARAM(at), 0);
        continue;
      }
      SendMessageA(box, CB_SETITEMDATA, WPARAM(i), LPARAM(data));
      SendMessageA(box, CB_DELETESTRING, WPARAM(i + 1), 0);
      if (i == selected) SendMessageA(box, CB_SETCURSEL, WPARAM(i), 0);
    }
  }

  void TranslateListItems(HWND box, LONG style) {
    // Boxes with several selected items keep each item's own selection state.
    const bool multiple = (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
    const LRESULT selected = SendMessageA(box, LB_GETCURSEL, 0, 0);
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      if (!ReadItem(box, LB_GETTEXTLEN, LB_GETTEXT, WPARAM(i))) continue;
      const LRESULT data = SendMessageA(box, LB_GETITEMDATA, WPARAM(i), 0);
      const bool itemSelected = multiple && SendMessageA(box, LB_GETSEL, WPARAM(i), 0) > 0;
      const LRESULT at = SendMessageA(box, LB_INSERTSTRING, WPARAM(i),
                                      reinterpret_cast<LPARAM>(translated_.c_str()));
      if (at != i) {
        if (at >= 0) SendMessageA(box, LB_DELETESTRING, WPARAM(at), 0);
        continue;
      }
      SendMessageA(box, LB_SETITEMDATA, WPARAM(i), LPARAM(data));
      SendMessageA(box, LB_DELETESTRING, WPARAM(i + 1), 0);
      if (itemSelected) SendMessageA(box, LB_SETSEL, TRUE, LPARAM(i));
    }
    if (!multiple) SendMessageA(box, LB_SETCURSEL, WPARAM(selected), 0);
  }

  void TranslateTabItems(HWND tabs) {
    const LRESULT count = SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      item.pszText = ClearedText();
      item.cchTextMax = kItemTextSize - 1;
      if (!SendMessageA(tabs, TCM_GETITEMA, WPARAM(i), reinterpret_cast<LPARAM>(&item)) ||
          !item.pszText) {
        continue;
      }
      translator_.Translate(item.pszText, &translated_);
      TCITEMA update = {};
      update.mask = TCIF_TEXT;
      update.pszText = &translated_[0];
      SendMessageA(tabs, TCM_SETITEMA, WPARAM(i), reinterpret_cast<LPARAM>(&update));
    }
  }

  void TranslateHeaderItems(HWND header) {
    const LRESULT count = SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      HDITEMA item = {};
      item.mask = HDI_TEXT;
      item.pszText = ClearedText();
      item.cchTextMax = kItemTextSize - 1;
      if (!SendMessageA(header, HDM_GETITEMA, WPARAM(i), reinterpret_cast<LPARAM>(&item)) ||
          !item.pszText) {
        continue;
      }
      translator_.Translate(item.pszText, &translated_);
      HDITEMA update = {};
      update.mask = HDI_TEXT;
      update.pszText = &translated_[0];
      SendMessageA(header, HDM_SETITEMA, WPARAM(i), reinterpret_cast<LPARAM>(&update));
    }
  }

  // The shared item buffer, emptied and with a terminator past the read limit.
  char* ClearedText() {
    text_[0] = '\0';
    text_[kItemTextSize - 1] = '\0';
    return text_.data();
  }

  const NlsTranslator& translator_;
  std::vector<char> text_;
  std::string translated_;
};

}  // namespace

std::unique_ptr<NlsTranslator> CreateNlsTranslator(HMODULE module, int resourceId,
                                                   uint16_t langid) noexcept {
  const char* code = LanguageCodeFor(langid);
  std::unique_ptr<NlsTranslator> translator(new (std::nothrow) NlsTranslator(code));
  if (!translator) return nullptr;

  char name[16];
  std::snprintf(name, sizeof name, "#%d", resourceId & 0xFFFF);
  HRSRC resource = FindResourceA(module, name, kNlsResourceType);
  if (!resource) return translator;
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const char* table = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!table) return translator;
  try {
    translator->Load(table, size);
  } catch (...) {
    // Out of memory half way: a partly loaded table could pair texts wrongly, so the
    // dialog stays untranslated instead.
    translator.reset(new (std::nothrow) NlsTranslator(code));
  }
  return translator;
}

void TranslateWindowTree(const NlsTranslator& translator, HWND window) noexcept {
  if (!window) return;
  try {
    TreeTranslator(translator).Walk(window);
  } catch (...) {
    // Out of memory: the windows translated so far keep their new texts.
  }
}

}  // namespace tb
