#include "ui/dialog_driver.h"

#include <vector>

namespace tbtest {

namespace {

struct Search {
  int probeId;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) == "#32770" && IsWindowVisible(window) && IsWindowEnabled(window) &&
      GetDlgItem(window, search->probeId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectDialogs(HWND window, LPARAM context) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) == "#32770")
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

void ClickAt(HWND window, UINT down, POINT point) {
  SendMessageA(window, down, MK_LBUTTON, MAKELPARAM(point.x, point.y));
  SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
}

POINT RowPoint(HWND list, int row) {
  RECT rect{};
  rect.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
  return POINT{rect.left + 4, (rect.top + rect.bottom) / 2};
}

}  // namespace

HWND WaitForDialog(DWORD thread, int probeId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    Search search{probeId, nullptr};
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

void CancelAll(DWORD thread) {
  for (int round = 0; round < 10; ++round) {
    std::vector<HWND> dialogs;
    EnumThreadWindows(thread, CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
    if (dialogs.empty()) return;
    for (HWND dialog : dialogs) {
      if (IsWindowEnabled(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    Sleep(100);
  }
}

std::string Text(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void ClickLater(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressEscape(HWND dialog) {
  PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0);
}

std::vector<Row> Rows(HWND list) {
  std::vector<Row> rows;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Row row;
    for (int column = 0; column < 3; ++column) {
      char text[260] = {};
      LVITEMA item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
      row[column] = text;
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> ColumnHeadings(HWND list) {
  std::vector<std::string> headings;
  for (int column = 0;; ++column) {
    char text[260] = {};
    LVCOLUMNA item{};
    item.mask = LVCF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (!SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&item))) break;
    headings.push_back(text);
  }
  return headings;
}

void SelectRow(HWND list, int row) { ClickAt(list, WM_LBUTTONDOWN, RowPoint(list, row)); }

void DoubleClickRow(HWND list, int row) {
  const POINT point = RowPoint(list, row);
  ClickAt(list, WM_LBUTTONDOWN, point);
  ClickAt(list, WM_LBUTTONDBLCLK, point);
}

int RowImage(HWND list, int row) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

std::vector<std::string> TabLabels(HWND tabs) {
  std::vector<std::string> labels;
  const int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[260] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    labels.push_back(text);
  }
  return labels;
}

void ClickTab(HWND tabs, int position) {
  RECT rect{};
  SendMessageA(tabs, TCM_GETITEMRECT, position, reinterpret_cast<LPARAM>(&rect));
  ClickAt(tabs, WM_LBUTTONDOWN, POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

int CheckedRadio(HWND dialog, const std::vector<int>& ids) {
  for (size_t i = 0; i < ids.size(); ++i) {
    if (IsDlgButtonChecked(dialog, ids[i]) == BST_CHECKED) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[260] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

int ComboSelection(HWND combo) { return static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)); }

void ChooseComboItem(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageA(combo, CB_SETCURSEL, index, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

}  // namespace tbtest
