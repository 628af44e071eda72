#include "ui/dialog.h"

#include "core/globals.h"
#include "ui/common_controls.h"
#include "ui/resource.h"

namespace tb {
namespace ui {

namespace {

// Makes the library's manifest (comctl32 version 6) the active activation context for
// as long as it lives, so the dialogs get the themed controls wherever the host's
// process has them, whatever the host's own manifest says.
class VisualStylesScope {
 public:
  VisualStylesScope() noexcept {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(ResourceModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    ACTCTXA context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = ResourceModule();
    context.lpSource = path;
    context.lpResourceName = MAKEINTRESOURCEA(IDR_VISUAL_STYLES_MANIFEST);
    context_ = CreateActCtxA(&context);
    if (context_ != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context_, &cookie_) != FALSE;
  }
  ~VisualStylesScope() {
    if (active_) DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  VisualStylesScope(const VisualStylesScope&) = delete;
  VisualStylesScope& operator=(const VisualStylesScope&) = delete;

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// Centres a dialog over its owner, or on the work area when it has none, and keeps it
// on the work area.
void CenterOnOwner(HWND dialog) noexcept {
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  RECT around = area;
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  RECT rect{};
  GetWindowRect(dialog, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int x = (around.left + around.right - width) / 2;
  int y = (around.top + around.bottom - height) / 2;
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool IsRadioButton(HWND window) noexcept {
  return (SendMessageA(window, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

}  // namespace

HMODULE ResourceModule() noexcept { return LibraryModule(); }

void DataExchange::RadioGroup(int firstId, int32_t& index) noexcept {
  HWND first = GetDlgItem(dialog_, firstId);
  if (!first) return;
  int32_t position = 0;
  int32_t checked = -1;
  for (HWND button = first; button; button = GetWindow(button, GW_HWNDNEXT)) {
    if (button != first && (GetWindowLongA(button, GWL_STYLE) & WS_GROUP)) break;
    if (!IsRadioButton(button)) continue;
    if (save_) {
      if (SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED) checked = position;
    } else {
      SendMessageA(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ++position;
  }
  if (save_) index = checked;
}

void DataExchange::ComboIndex(int id, int32_t& index) noexcept {
  HWND combo = GetDlgItem(dialog_, id);
  if (!combo) return;
  if (save_) {
    const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    index = selected == CB_ERR ? -1 : static_cast<int32_t>(selected);
  } else {
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
}

INT_PTR Dialog::RunModal(HWND owner) noexcept {
  if (!owner) {
    owner = GetActiveWindow();
    if (owner) owner = GetAncestor(owner, GA_ROOT);
  }
  VisualStylesScope styles;
  InitControls(ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES);
  return DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

void Dialog::OnOK() {
  if (UpdateData(true)) End(IDOK);
}

void Dialog::OnCancel() { End(IDCANCEL); }

bool Dialog::UpdateData(bool save) {
  DataExchange exchange(window_, save);
  Exchange(exchange);
  return true;
}

void Dialog::End(INT_PTR result) noexcept { EndDialog(window_, result); }

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wparam,
                                   LPARAM lparam) noexcept {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lparam);
    SetWindowLongPtrA(window, DWLP_USER, lparam);
    self->window_ = window;
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  if (!self) return FALSE;
  // Nothing thrown may leave through the window procedure: a handler that runs out of
  // memory leaves the dialog as it is.
  try {
    return self->Handle(message, wparam, lparam);
  } catch (...) {
    return FALSE;
  }
}

INT_PTR Dialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const bool focus = OnInitDialog();
      CenterOnOwner(window_);
      return focus ? TRUE : FALSE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (OnCommand(id, HIWORD(wparam))) return TRUE;
      if (id == IDOK) {
        OnOK();
        return TRUE;
      }
      if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
      LRESULT result = 0;
      if (!header || !OnNotify(*header, result)) return FALSE;
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window_, DWLP_USER, 0);
      window_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void ListView::SetExtendedStyle(DWORD style) const noexcept {
  SendMessageA(window_, LVM_SETEXTENDEDLISTVIEWSTYLE, style, style);
}

void ListView::SetSmallImages(HIMAGELIST images) const noexcept {
  SendMessageA(window_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

int ListView::InsertColumn(int index, const char* heading) const noexcept {
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.pszText = const_cast<char*>(heading);
  return static_cast<int>(
      SendMessageA(window_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)));
}

void ListView::SetColumnWidth(int column, int width) const noexcept {
  SendMessageA(window_, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
}

int ListView::RowCount() const noexcept {
  return static_cast<int>(SendMessageA(window_, LVM_GETITEMCOUNT, 0, 0));
}

int ListView::InsertRow(int index, const char* text, int image, void* data) const noexcept {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = index;
  item.pszText = const_cast<char*>(text);
  item.iImage = image;
  item.lParam = reinterpret_cast<LPARAM>(data);
  return static_cast<int>(
      SendMessageA(window_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetText(int row, int column, const char* text) const noexcept {
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text ? text : "");
  SendMessageA(window_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void* ListView::RowData(int row) const noexcept {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(window_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<void*>(item.lParam);
}

void ListView::DeleteRow(int row) const noexcept { SendMessageA(window_, LVM_DELETEITEM, row, 0); }

void ListView::DeleteAllRows() const noexcept { SendMessageA(window_, LVM_DELETEALLITEMS, 0, 0); }

int ListView::FocusedRow() const noexcept {
  return static_cast<int>(
      SendMessageA(window_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void ListView::SelectAndFocus(int row) const noexcept {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(window_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void ListView::SetRedraw(bool redraw) const noexcept {
  SendMessageA(window_, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
  if (redraw) InvalidateRect(window_, nullptr, TRUE);
}

int TabControl::InsertTab(int index, const char* label) const noexcept {
  TCITEMA tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = const_cast<char*>(label);
  return static_cast<int>(
      SendMessageA(window_, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&tab)));
}

int TabControl::Selected() const noexcept {
  return static_cast<int>(SendMessageA(window_, TCM_GETCURSEL, 0, 0));
}

void LoadResourceString(int id, char* buffer, int size) noexcept {
  if (size <= 0) return;
  buffer[0] = '\0';
  if (LoadStringA(ResourceModule(), id, buffer, size) <= 0) buffer[0] = '\0';
}

}  // namespace ui
}  // namespace tb
