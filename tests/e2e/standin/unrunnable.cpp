// A DLL carrying a program's version block. Deployed under a program's name it passes the
// version comparison but cannot be started.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
