// Imports user32 but not version.dll. Whether a planted version.dll loads into it shows what
// the platform's own DLLs pull in before any code of a program runs.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
