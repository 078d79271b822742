#pragma once
#include <windows.h>

namespace qm {

// The host window's WM_TIMER: the update run with the real edges, once, for the run timer
// only. Catches every standard exception and shows it; destroys the window at the end.
void RunUpdate(HWND window, UINT_PTR timerId);

} // namespace qm
