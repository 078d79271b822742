#pragma once
// The program's one window: never shown, it carries the run timer, owns the message boxes and
// ends the process when it is destroyed.
#include <windows.h>

namespace qm {

constexpr UINT kRunTimerIntervalMs = 100;

struct RunContext;

// Loads the title and class name, registers the class and creates the window hidden, with the
// program's icons; the run timer's tick runs what context asks for, once, and keeps how it
// ended there. Null when the window cannot be created.
HWND CreateHostWindow(HINSTANCE instance, RunContext& context);

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace qm
