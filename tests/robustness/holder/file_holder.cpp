// Holds one file open the way an editor or a backup agent might: reading, sharing reads only,
// so that nobody else can write to it until this program ends. The file is the command
// line's only argument. Once the file is held, the event "qm_file_holder_<process id>"
// exists, so whoever waits for it never races the open. It ends by itself after a while so that a
// test that died cannot leave it running for good.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr DWORD kLifetimeMs = 5 * 60 * 1000;
// Exit codes: the file could not be opened gives the platform's error code instead.
constexpr int kExitUsage = 10000;

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 2) {
        return kExitUsage;
    }
    HANDLE file = CreateFileW(arguments[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openError = GetLastError();
    LocalFree(arguments);
    if (file == INVALID_HANDLE_VALUE) {
        return static_cast<int>(openError);
    }
    const std::wstring ready = L"qm_file_holder_" + std::to_wstring(GetCurrentProcessId());
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, ready.c_str());
    Sleep(kLifetimeMs);
    if (event != nullptr) {
        CloseHandle(event);
    }
    CloseHandle(file);
    return 0;
}
