// A stand-in for one of the suite's programs. It records how it was started (process id, full
// image path and command line) as one line appended to a log, then waits until it is ended.
// The log is the file named by QM_STANDIN_LOG, or "standin.log" beside the executable.
// It ends by itself after a while so that a test that died cannot leave it running for good.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kLifetimeMs = 10 * 60 * 1000;

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring LogPath(const std::wstring& modulePath) {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableW(L"QM_STANDIN_LOG", buffer, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2) {
        return buffer;
    }
    return modulePath.substr(0, modulePath.find_last_of(L'\\') + 1) + L"standin.log";
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

void AppendRecord(const std::wstring& logPath, const std::wstring& record) {
    const std::string line = ToUtf8(record) + "\n";
    // Several stand-ins may start at once: one append-only write per record keeps lines whole.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = CreateFileW(logPath.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    const std::wstring modulePath = ModulePath();
    AppendRecord(LogPath(modulePath), std::to_wstring(GetCurrentProcessId()) + L"\t" + modulePath +
                                          L"\t" + GetCommandLineW());
    Sleep(kLifetimeMs);
    return 0;
}
