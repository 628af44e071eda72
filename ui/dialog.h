// A small dialog layer on plain Win32: a modal dialog run from a template in this
// library's resources, with initialisation, command and notification dispatch and
// data exchange, and thin wrappers for the few controls the settings dialogs use.
#ifndef TB_UI_DIALOG_H
#define TB_UI_DIALOG_H

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

namespace tb {
namespace ui {

/// The module that holds the dialogs' resources: this library (tunebay.dll, or the
/// program it is linked into), never the host.
HMODULE ResourceModule() noexcept;

/// Moves values between a dialog's members and its controls, in one direction.
class DataExchange {
 public:
  DataExchange(HWND dialog, bool save) noexcept : dialog_(dialog), save_(save) {}
  bool saving() const noexcept { return save_; }

  /// The index of the checked radio button in the group that begins at `firstId`
  /// (the radio buttons that follow it up to the next control that starts a group);
  /// -1 for none.
  void RadioGroup(int firstId, int32_t& index) noexcept;
  /// The selected item of combo box `id`; -1 for none.
  void ComboIndex(int id, int32_t& index) noexcept;

 private:
  HWND dialog_;
  bool save_;
};

/// A modal dialog. Derived classes handle the events they need; the defaults give the
/// usual behaviour: OK exchanges the data and ends with IDOK, Cancel ends with IDCANCEL.
class Dialog {
 public:
  explicit Dialog(int templateId) noexcept : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  /// Runs the dialog modally and returns how it ended (IDOK, IDCANCEL, ...), or -1
  /// when it could not be shown. With no owner given, the dialog is owned by the
  /// thread's active window, as any modal dialog without a parent. The library's
  /// visual-styles context is active while the dialog runs; it opens centred on its owner.
  INT_PTR RunModal(HWND owner = nullptr) noexcept;

  HWND window() const noexcept { return window_; }
  HWND item(int id) const noexcept { return GetDlgItem(window_, id); }

 protected:
  /// The controls exist; the result tells whether the system should set the focus.
  virtual bool OnInitDialog() { return true; }
  /// WM_COMMAND from a control or an accelerator; true when handled.
  virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
  /// WM_NOTIFY from a control; true when handled (`result` is the message result).
  virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  /// The default button or Enter.
  virtual void OnOK();
  /// Escape, the close box or a Cancel button.
  virtual void OnCancel();
  /// The window is being destroyed.
  virtual void OnDestroy() {}
  /// Declares which members go to which controls.
  virtual void Exchange(DataExchange& /*exchange*/) {}

  /// Moves the members into the controls (`save` false) or back. True on success.
  bool UpdateData(bool save);
  /// Ends the modal run with `result`.
  void End(INT_PTR result) noexcept;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept;
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);

  int templateId_;
  HWND window_ = nullptr;
};

/// A child window: show, hide, enable.
class Control {
 public:
  void Attach(HWND window) noexcept { window_ = window; }
  HWND get() const noexcept { return window_; }
  void Show(bool show) const noexcept { ShowWindow(window_, show ? SW_SHOW : SW_HIDE); }
  void Enable(bool enable) const noexcept { EnableWindow(window_, enable ? TRUE : FALSE); }

 protected:
  HWND window_ = nullptr;
};

/// A list view in report view whose rows carry one pointer each in their item data.
class ListView : public Control {
 public:
  void SetExtendedStyle(DWORD style) const noexcept;
  void SetSmallImages(HIMAGELIST images) const noexcept;
  int InsertColumn(int index, const char* heading) const noexcept;
  void SetColumnWidth(int column, int width) const noexcept;
  int RowCount() const noexcept;
  /// Inserts a row at `index` with `text` in column 0; the new row's index, or -1.
  int InsertRow(int index, const char* text, int image, void* data) const noexcept;
  void SetText(int row, int column, const char* text) const noexcept;
  void* RowData(int row) const noexcept;
  void DeleteRow(int row) const noexcept;
  void DeleteAllRows() const noexcept;
  /// The row that has the focus, or -1.
  int FocusedRow() const noexcept;
  void SelectAndFocus(int row) const noexcept;
  void SetRedraw(bool redraw) const noexcept;
};

/// A tab control.
class TabControl : public Control {
 public:
  int InsertTab(int index, const char* label) const noexcept;
  int Selected() const noexcept;
};

/// A string resource of this library, empty when it is missing.
void LoadResourceString(int id, char* buffer, int size) noexcept;

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_DIALOG_H
