#pragma once
// The About dialog, opened from the host window's system menu.
#include <windows.h>

namespace qm {

// The About dialog (resource 103): OK and Cancel end it with their command as the result.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace qm
