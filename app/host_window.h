#pragma once
// The program's one window: never shown, it carries the run timer, owns the message boxes and
// ends the process when it is destroyed.
#include <windows.h>

namespace qm {

constexpr UINT kRunTimerIntervalMs = 100;

// Loads the title and class name, registers the class and creates the window hidden, with the
// program's icons. Null when the window cannot be created.
HWND CreateHostWindow(HINSTANCE instance);

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace qm
