// Imports version.dll statically, as a program that trusts the DLL search order would. Run
// beside a planted version.dll, it shows whether the environment lets such a DLL load at all.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    DWORD handle = 0;
    // The planted stand-in answers 0; the real one answers the size of this program's block.
    return GetFileVersionInfoSizeW(L"kernel32.dll", &handle) == 0 ? 3 : 0;
}
