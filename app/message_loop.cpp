// The program's one message loop.
#include "app/message_loop.h"

namespace qm {

namespace {
constexpr HWND kAllWindows = nullptr;
constexpr UINT kAllMessages = 0;
} // namespace

void RunMessageLoop(HACCEL accelerators) {
    MSG message{};
    // GetMessageW answers -1 on failure; looping on anything but a positive answer would spin.
    while (GetMessageW(&message, kAllWindows, kAllMessages, kAllMessages) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace qm
