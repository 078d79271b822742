#pragma once
// The program's one message loop, run until the host window posts the quit message.
#include <windows.h>

namespace qm {

// Dispatches the thread's messages, accelerators first, until WM_QUIT or a failure of
// GetMessageW.
void RunMessageLoop(HACCEL accelerators);

} // namespace qm
