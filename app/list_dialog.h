#pragma once
// A long text to read, select and copy, with the verdict above it: the preview's list. A
// message box neither scrolls nor lets its text be copied, and grows past the screen.
#include <windows.h>

#include <string>

namespace qm {

// Shows list below verdict in the dialog IDD_LIST owned by owner, under caption, sized to the
// list up to 80% of the monitor's work area and resizable; Enter and Esc close it, Ctrl+A and
// Ctrl+C work in the list, and "复制" copies all of it. Returns when it is closed; false when it
// could not be shown.
bool ShowListDialog(HWND owner, const std::wstring& caption, const std::wstring& verdict,
                    const std::wstring& list);

} // namespace qm
