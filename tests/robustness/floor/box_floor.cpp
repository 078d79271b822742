// The floor of a measured run: a GUI program that does nothing but show one message box, as
// Quillmend's run ends, so that what Wine spends starting any program can be taken off.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxA(nullptr, "floor", "floor", MB_OK);
    return 0;
}
