// A stand-in for the user's shell: starts the program named on its command line (inheriting
// its own token, as Explorer's children do), then waits until it is ended. It ends by itself
// after a while so that a test that died cannot leave it running for good.
#include <windows.h>

#include <string>

namespace {
constexpr DWORD kLifetimeMs = 10 * 60 * 1000;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandTail, int) {
    std::wstring commandLine = commandTail;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (commandLine.empty() || !CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                               nullptr, nullptr, &startup, &started)) {
        return 1;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    Sleep(kLifetimeMs);
    return 0;
}
