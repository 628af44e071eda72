// Drives the settings dialogs as a user does, from a second thread while the test's
// own thread runs them modally: finds a dialog when it opens, reads its controls,
// clicks, selects rows and tabs, and closes it.
#ifndef TB_TESTS_UI_DIALOG_DRIVER_H
#define TB_TESTS_UI_DIALOG_DRIVER_H

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace tbtest {

/// The enabled dialog of `thread` that has a control `probeId`, once it is shown;
/// null after `timeoutMs`.
HWND WaitForDialog(DWORD thread, int probeId, DWORD timeoutMs = 10000);
/// Waits until `window` is gone; false after `timeoutMs`.
bool WaitGone(HWND window, DWORD timeoutMs = 10000);

/// Ends every dialog `thread` still shows with IDCANCEL (the innermost first), so a
/// failed script never leaves a test hanging in a modal loop.
void CancelAll(DWORD thread);

std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);

/// Clicks a button and waits for its handler (for clicks that open no window).
void Click(HWND dialog, int id);
/// Clicks a button and returns at once (for clicks that open or end a dialog).
void ClickLater(HWND dialog, int id);
/// Presses Escape in the dialog.
void PressEscape(HWND dialog);

/// The list view's rows: name, vendor, file name.
using Row = std::array<std::string, 3>;
std::vector<Row> Rows(HWND list);
std::vector<std::string> ColumnHeadings(HWND list);
/// Clicks a row (it gets the selection and the focus).
void SelectRow(HWND list, int row);
void DoubleClickRow(HWND list, int row);
/// The image index of a row.
int RowImage(HWND list, int row);

std::vector<std::string> TabLabels(HWND tabs);
/// Clicks the tab at `position`.
void ClickTab(HWND tabs, int position);

/// Which radio button of the group is checked: 0, 1, 2 or -1.
int CheckedRadio(HWND dialog, const std::vector<int>& ids);
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
/// Chooses an item as a user does, with the selection-change notification.
void ChooseComboItem(HWND dialog, int id, int index);

}  // namespace tbtest

#endif  // TB_TESTS_UI_DIALOG_DRIVER_H
