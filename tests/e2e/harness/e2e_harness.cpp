// The end-to-end harness: prefix state, the real program started, its boxes read and pressed.
#include "tests/e2e/harness/e2e_harness.h"

#include "tests/discovery/registry_views.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <set>

namespace qm::e2e {

namespace {

constexpr DWORD kPollMs = 2;
constexpr DWORD kMessageTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kListTextId = 1001; // the list dialog's list (res/resource.h)

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

std::wstring ImagePathOf(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, &path[0], &size)) {
        return {};
    }
    path.resize(size);
    return path;
}

} // namespace

// ---- files -------------------------------------------------------------------------------

std::wstring ExeFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length);
    return FolderOf(path);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const std::wstring& folder) {
    if (folder.empty() || PathExists(folder)) {
        return true;
    }
    const std::wstring parent = FolderOf(folder);
    if (!parent.empty() && parent != folder && !MakeFolders(parent)) {
        return false;
    }
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return true;
}

std::string BytesOf(const std::wstring& path) {
    std::string bytes;
    return ReadBytes(path, bytes) ? bytes : std::string("<missing>");
}

bool CopyOver(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

namespace {

bool DeleteTreeOnce(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return DeleteFileW(path.c_str()) != FALSE;
    }
    bool ok = true;
    WIN32_FIND_DATAW entry{};
    UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                ok = DeleteTreeOnce(path + L"\\" + name) && ok;
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    find.reset();
    return RemoveDirectoryW(path.c_str()) != FALSE && ok;
}

} // namespace

bool DeleteTree(const std::wstring& path) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (DeleteTreeOnce(path)) {
            return true;
        }
        Sleep(50);
    }
    return !PathExists(path);
}

std::wstring RoamingAppData() {
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, FALSE)) {
        return {};
    }
    return buffer;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size,
                        nullptr, nullptr);
    return utf8;
}

ScratchFolder::ScratchFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned counter = 0;
    path_ = std::wstring(temp) + L"qm-e2e-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++counter);
    DeleteTree(path_);
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() {
    DeleteTree(path_);
}

// ---- registry ----------------------------------------------------------------------------

ScratchRegistry::~ScratchRegistry() {
    for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
        test::DeleteTreeInView(*it);
    }
}

void ScratchRegistry::Claim(const std::wstring& keyPath) {
    if (std::find(owned_.begin(), owned_.end(), keyPath) != owned_.end()) {
        return;
    }
    test::DeleteTreeInView(keyPath);
    owned_.push_back(keyPath);
}

bool ScratchRegistry::SetAppPath(const std::wstring& keyPath, const std::wstring& appPath) {
    UniqueRegKey key;
    if (test::CreateKeyInView(keyPath, key) != ERROR_SUCCESS) {
        return false;
    }
    return test::WriteAppPath(key.get(), appPath) == ERROR_SUCCESS;
}

// ---- stand-in programs -------------------------------------------------------------------

std::wstring StandInImage(int revision) {
    return ExeFolder() + L"\\qm_standin_" +
           (revision == 0 ? std::wstring(L"nover") : L"r" + std::to_wstring(revision)) + L".exe";
}

std::wstring UnrunnableImage() {
    return ExeFolder() + L"\\qm_unrunnable_r200.dll";
}

StandIns::StandIns(const std::wstring& logPath) : logPath_(logPath) {
    DeleteFileW(logPath_.c_str());
    SetEnvironmentVariableW(L"QM_STANDIN_LOG", logPath_.c_str());
}

StandIns::~StandIns() {
    EndAll();
    SetEnvironmentVariableW(L"QM_STANDIN_LOG", nullptr);
}

namespace {

// Under load Wine now and then refuses to create a process at all; no process is made then, so
// asking again changes nothing but the outcome of a test that is not about starting programs.
bool CreateProcessRetried(const std::wstring& exe, const std::wstring& arguments,
                          const std::wstring& folder, PROCESS_INFORMATION& info) {
    constexpr int kAttempts = 3;
    constexpr DWORD kPauseMs = 100;
    for (int attempt = 1;; ++attempt) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        // Anew each time: CreateProcessW may write into it.
        std::wstring commandLine = L"\"" + exe + L"\"";
        if (!arguments.empty()) {
            commandLine += L" " + arguments;
        }
        if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
            return true;
        }
        if (attempt == kAttempts) {
            return false; // with CreateProcessW's last error
        }
        Sleep(kPauseMs);
    }
}

} // namespace

DWORD StandIns::Start(const std::wstring& exePath) {
    const size_t before = Starts().size();
    PROCESS_INFORMATION info{};
    if (!CreateProcessRetried(exePath, L"", L"", info)) {
        return 0;
    }
    CloseHandle(info.hThread);
    started_.emplace_back(info.dwProcessId, UniqueProcess(info.hProcess));
    for (int waited = 0; waited < 15000; waited += 10) {
        if (Starts().size() > before) {
            return info.dwProcessId;
        }
        if (WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0) {
            return 0;
        }
    }
    return 0;
}

bool StandIns::HasEnded(DWORD pid, DWORD waitMs) const {
    for (const auto& entry : started_) {
        if (entry.first == pid) {
            return WaitForSingleObject(entry.second.get(), waitMs) == WAIT_OBJECT_0;
        }
    }
    return false;
}

std::vector<StandInStart> StandIns::Starts() const {
    std::vector<StandInStart> starts;
    std::string bytes;
    if (!ReadBytes(logPath_, bytes)) {
        return starts;
    }
    size_t position = 0;
    while (position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string::npos) {
            break; // a line still being written
        }
        const std::wstring line = FromUtf8(bytes.substr(position, end - position));
        position = end + 1;
        const size_t tab1 = line.find(L'\t');
        const size_t tab2 = tab1 == std::wstring::npos ? tab1 : line.find(L'\t', tab1 + 1);
        if (tab2 == std::wstring::npos) {
            continue;
        }
        StandInStart start;
        start.pid = static_cast<DWORD>(std::wcstoul(line.substr(0, tab1).c_str(), nullptr, 10));
        start.path = line.substr(tab1 + 1, tab2 - tab1 - 1);
        start.commandLine = line.substr(tab2 + 1);
        starts.push_back(start);
    }
    return starts;
}

std::vector<StandInStart> StandIns::StartsOf(const std::wstring& exePath, size_t skip) const {
    std::vector<StandInStart> all = Starts();
    std::vector<StandInStart> matching;
    for (size_t i = skip; i < all.size(); ++i) {
        if (SameText(all[i].path, exePath)) {
            matching.push_back(all[i]);
        }
    }
    return matching;
}

void StandIns::EndAll() {
    for (auto& entry : started_) {
        TerminateProcess(entry.second.get(), 0);
        WaitForSingleObject(entry.second.get(), 5000);
    }
    started_.clear();
    // Programs started by Quillmend are not our children: end them by the ids they logged,
    // after checking that the id still names the same program.
    for (const StandInStart& start : Starts()) {
        UniqueProcess process(OpenProcess(
            PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, start.pid));
        if (process && SameText(ImagePathOf(process.get()), start.path)) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), 5000);
        }
    }
}

// ---- windows -----------------------------------------------------------------------------

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return {};
    }
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

std::vector<HWND> DialogsOf(DWORD pid) {
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindowsOf(pid)) {
        if (ClassOf(window) == L"#32770") {
            dialogs.push_back(window);
        }
    }
    return dialogs;
}

std::vector<ChildInfo> ChildrenOf(HWND dialog) {
    std::vector<ChildInfo> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        ChildInfo info;
        info.id = GetDlgCtrlID(child);
        info.className = ClassOf(child);
        info.text = WindowText(child);
        children.push_back(info);
    }
    return children;
}

// A message box's text; for the program's list dialog, its list, whose last line is the verdict
// shown above it, with the edit control's "\r\n" as "\n".
std::wstring MessageBoxText(HWND box) {
    if (HWND list = GetDlgItem(box, kListTextId)) {
        std::wstring text;
        for (const wchar_t ch : WindowText(list)) {
            if (ch != L'\r') {
                text += ch;
            }
        }
        return text;
    }
    HWND text = GetDlgItem(box, kMessageBoxTextId);
    return text ? WindowText(text) : std::wstring();
}

bool CaptureWindow(HWND window, const std::wstring& bmpPath) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, previous);
        if (ok) {
            const DWORD stride = static_cast<DWORD>(((width * 3) + 3) & ~3);
            const DWORD imageBytes = stride * static_cast<DWORD>(height);
            BITMAPFILEHEADER header{};
            header.bfType = 0x4D42; // "BM"
            header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
            header.bfSize = header.bfOffBits + imageBytes;
            std::string file(reinterpret_cast<const char*>(&header), sizeof header);
            file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
            file.append(static_cast<const char*>(bits), imageBytes);
            ok = WriteBytes(bmpPath, file);
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// ---- running the program -----------------------------------------------------------------

RunOutcome RunProgram(const RunOptions& options) {
    RunOutcome outcome;
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessRetried(options.exe, options.arguments, options.workingFolder, info)) {
        outcome.problem = L"CreateProcess failed with " + std::to_wstring(GetLastError());
        return outcome;
    }
    CloseHandle(info.hThread);
    UniqueProcess process(info.hProcess);
    outcome.started = true;
    outcome.pid = info.dwProcessId;

    bool hostSeen = !options.onHostWindow;
    std::set<HWND> dialogsSeen;
    std::set<HWND> othersSeen;
    for (;;) {
        if (!hostSeen) {
            HWND host = FindWindowW(L"QUILLMEND", nullptr);
            DWORD owner = 0;
            if (host != nullptr && GetWindowThreadProcessId(host, &owner) &&
                owner == info.dwProcessId) {
                hostSeen = true;
                options.onHostWindow(host);
            }
        }
        for (HWND dialog : DialogsOf(info.dwProcessId)) {
            // A dialog is read once it is on screen: a message box fills in its text first.
            if (dialogsSeen.count(dialog) || !IsWindowVisible(dialog)) {
                continue;
            }
            dialogsSeen.insert(dialog);
            if (options.onDialog && options.onDialog(dialog)) {
                continue;
            }
            BoxInfo box;
            box.window = dialog;
            box.caption = WindowText(dialog);
            box.text = MessageBoxText(dialog);
            box.seconds = SecondsSince(start);
            if (options.onBox) {
                options.onBox(box);
            }
            outcome.boxes.push_back(box);
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        }
        for (HWND window : TopLevelWindowsOf(info.dwProcessId)) {
            if (IsWindowVisible(window) && ClassOf(window) != L"#32770") {
                othersSeen.insert(window);
            }
        }
        for (BoxInfo& box : outcome.boxes) {
            if (box.closedSeconds == 0 && !IsWindow(box.window)) {
                box.closedSeconds = SecondsSince(start);
            }
        }
        if (WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0) {
            break;
        }
        if (SecondsSince(start) * 1000.0 > options.timeoutMs) {
            outcome.problem = L"the program did not end in time";
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 5000);
            break;
        }
    }
    outcome.seconds = SecondsSince(start);
    outcome.otherVisibleWindows = static_cast<int>(othersSeen.size());
    DWORD code = 0;
    if (outcome.problem.empty() && GetExitCodeProcess(process.get(), &code)) {
        outcome.exited = true;
        outcome.exitCode = code;
    }
    return outcome;
}

} // namespace qm::e2e
