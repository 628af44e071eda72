// TranslateWindowTree over real windows: texts, unsorted boxes, tab labels and list
// view headings, depth first; sorted boxes, item data and selections kept.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "nls/window_translation.h"

namespace tb {
namespace {

using namespace std::string_literals;

const std::string kTable =
    "[enu]\0\r\n1 Audio Format Settings\0\r\n2 Close\0\r\n6 Move Up\0\r\n7 Move Down\0\r\n"
    "10 No plug-ins found\0\r\n23 Decoders\0\r\n24 Encoders\0\r\n25 Convertors\0\r\n"
    "27 Plug-in Name\0\r\n28 Vendor\0\r\n29 File Name\0\r\n\0\r\n"
    "[deu]\0\r\n1 Audioformat-Einstellungen\0\r\n2 Beenden\0\r\n6 Nach oben\0\r\n"
    "7 Nach unten\0\r\n10 Keine Plug-ins gefunden\0\r\n23 Decoder\0\r\n24 Encoder\0\r\n"
    "25 Konverter\0\r\n27 Plug-in-Name\0\r\n28 Hersteller\0\r\n29 Dateiname\0\r\n\0\r\n"s;

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The item texts of a combo box (CB_GETCOUNT, CB_GETLBTEXT) or list box.
std::vector<std::string> Items(HWND box, UINT countMessage, UINT textMessage) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageA(box, countMessage, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[256] = {};
    SendMessageA(box, textMessage, WPARAM(i), reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

std::vector<std::string> ComboItems(HWND box) { return Items(box, CB_GETCOUNT, CB_GETLBTEXT); }
std::vector<std::string> ListItems(HWND box) { return Items(box, LB_GETCOUNT, LB_GETTEXT); }

class window_translation_test : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    translator_.Load(kTable.data(), kTable.size());
    dialog_.reset(CreateWindowExA(0, "#32770", "Audio Format Settings", WS_POPUP | WS_CAPTION, 0, 0,
                                  600, 400, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(dialog_);
  }

  HWND Child(const char* className, const char* text, DWORD style, HWND parent = nullptr) {
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 200,
                           parent ? parent : dialog_.get(), nullptr, nullptr, nullptr);
  }

  HWND Combo(DWORD style, std::initializer_list<const char*> items) {
    HWND box = Child("COMBOBOX", "", CBS_DROPDOWNLIST | style);
    LPARAM data = 100;
    for (const char* item : items) {
      const LRESULT at = SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      SendMessageA(box, CB_SETITEMDATA, WPARAM(at), data++);
    }
    return box;
  }

  HWND List(DWORD style, std::initializer_list<const char*> items) {
    HWND box = Child("LISTBOX", "", style);
    LPARAM data = 200;
    for (const char* item : items) {
      const LRESULT at = SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      SendMessageA(box, LB_SETITEMDATA, WPARAM(at), data++);
    }
    return box;
  }

  NlsTranslator translator_{"DEU"};
  unique_hwnd dialog_;
};

TEST_F(window_translation_test, texts_are_translated_down_to_grandchildren) {
  HWND close = Child("BUTTON", "&Close", BS_PUSHBUTTON);
  HWND note = Child("STATIC", "No plug-ins found", SS_CENTER);
  HWND other = Child("STATIC", "Some &other text", 0);
  HWND group = Child("BUTTON", "Order", BS_GROUPBOX);
  HWND inner = Child("BUTTON", "Move &Up", BS_PUSHBUTTON, group);
  HWND innermost = Child("BUTTON", "Move Down", BS_PUSHBUTTON, inner);

  TranslateWindowTree(translator_, dialog_.get());

  EXPECT_EQ(WindowText(dialog_.get()), "Audioformat-Einstellungen");
  EXPECT_EQ(WindowText(close), "Beenden");
  EXPECT_EQ(WindowText(note), "Keine Plug-ins gefunden");
  EXPECT_EQ(WindowText(other), "Some other text");
  EXPECT_EQ(WindowText(group), "Order");
  EXPECT_EQ(WindowText(inner), "Nach oben");
  EXPECT_EQ(WindowText(innermost), "Nach unten");
}

TEST_F(window_translation_test, unsorted_boxes_keep_order_data_and_selection) {
  HWND combo = Combo(0, {"Decoders", "&Encoders", "Unknown"});
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  HWND sortedCombo = Combo(CBS_SORT, {"Encoders", "Decoders"});
  HWND list = List(LBS_NOTIFY, {"Convertors", "Vendor", "Decoders"});
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  HWND unselected = List(0, {"Vendor"});
  HWND multiple = List(LBS_EXTENDEDSEL, {"Decoders", "Encoders", "Convertors"});
  SendMessageA(multiple, LB_SETSEL, TRUE, 0);
  SendMessageA(multiple, LB_SETSEL, TRUE, 2);
  HWND sortedList = List(LBS_SORT, {"Vendor", "File Name"});

  TranslateWindowTree(translator_, dialog_.get());

  EXPECT_EQ(ComboItems(combo), (std::vector<std::string>{"Decoder", "Encoder", "Unknown"}));
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
  for (LPARAM i = 0; i < 3; ++i) EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, i, 0), 100 + i);
  EXPECT_EQ(ComboItems(sortedCombo), (std::vector<std::string>{"Decoders", "Encoders"}));

  EXPECT_EQ(ListItems(list), (std::vector<std::string>{"Konverter", "Hersteller", "Decoder"}));
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  for (LPARAM i = 0; i < 3; ++i) EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, i, 0), 200 + i);
  EXPECT_EQ(ListItems(unselected), std::vector<std::string>{"Hersteller"});
  EXPECT_EQ(SendMessageA(unselected, LB_GETCURSEL, 0, 0), LB_ERR);

  EXPECT_EQ(ListItems(multiple), (std::vector<std::string>{"Decoder", "Encoder", "Konverter"}));
  EXPECT_GT(SendMessageA(multiple, LB_GETSEL, 0, 0), 0);
  EXPECT_EQ(SendMessageA(multiple, LB_GETSEL, 1, 0), 0);
  EXPECT_GT(SendMessageA(multiple, LB_GETSEL, 2, 0), 0);
  EXPECT_EQ(ListItems(sortedList), (std::vector<std::string>{"File Name", "Vendor"}));
}

TEST_F(window_translation_test, tab_labels_and_list_view_headings_are_translated) {
  HWND tabs = Child(WC_TABCONTROLA, "Tab1", 0);
  const char* labels[] = {"Decoders", "E&ncoders", "Other"};
  for (int i = 0; i < 3; ++i) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<char*>(labels[i]);
    item.lParam = 300 + i;
    SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  HWND view = Child(WC_LISTVIEWA, "List1", LVS_REPORT);
  const char* headings[] = {"Plug-in Name", "Vendor", "File Name"};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(headings[i]);
    column.cx = 100;
    SendMessageA(view, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }

  TranslateWindowTree(translator_, dialog_.get());

  const char* translatedLabels[] = {"Decoder", "Encoder", "Other"};
  const char* translatedHeadings[] = {"Plug-in-Name", "Hersteller", "Dateiname"};
  for (int i = 0; i < 3; ++i) {
    char text[64] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(text, translatedLabels[i]);
    EXPECT_EQ(item.lParam, 300 + i);
  }
  HWND header = reinterpret_cast<HWND>(SendMessageA(view, LVM_GETHEADER, 0, 0));
  ASSERT_NE(header, nullptr);
  for (int i = 0; i < 3; ++i) {
    char text[64] = {};
    HDITEMA item = {};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(text, translatedHeadings[i]);
    EXPECT_EQ(item.cxy, 100);
  }
}

}  // namespace
}  // namespace tb
