// Starting stopped programs again with the rights they ran with.
#include "processes/restart.h"

#include "fileops/file_version.h"
#include "platform/win_handles.h"

#include <vector>

namespace qm {

namespace {

constexpr BOOL kNoInheritance = FALSE;
constexpr BOOL kNoHandleInheritance = FALSE;
constexpr DWORD kAllProcesses = 0;
constexpr DWORD kOneAttribute = 1;
constexpr DWORD kReservedFlags = 0;
constexpr DWORD kNoWait = 0;
constexpr UINT kNotRunExitCode = 1;
constexpr BOOL kOwnEnvironmentOnly = FALSE;
constexpr SECURITY_ATTRIBUTES* kDefaultSecurity = nullptr;
constexpr const wchar_t* kNoApplicationName = nullptr;
// As the shell started them: in the tool's own current folder, with its environment.
constexpr const wchar_t* kToolsWorkingFolder = nullptr;
constexpr void* kToolsEnvironment = nullptr;
constexpr DWORD kDefaultCreation = 0;
constexpr DWORD kCandidateAccess = PROCESS_CREATE_PROCESS | PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
// The session's shell is the likeliest process with the user's own token.
constexpr wchar_t kShellImage[] = L"explorer.exe";

struct Candidate {
    RestartParent parent;
    UniqueProcess process;
};

Candidate OpenCandidate(DWORD processId) {
    Candidate candidate;
    candidate.process.reset(OpenProcess(kCandidateAccess, kNoInheritance, processId));
    if (!candidate.process) {
        return candidate;
    }
    candidate.parent.opened = true;
    candidate.parent.alive = WaitForSingleObject(candidate.process.get(), kNoWait) == WAIT_TIMEOUT;
    candidate.parent.rights = ReadProcessRights(candidate.process.get());
    return candidate;
}

// The parent recorded at the stop, if the id still names that same process.
Candidate OriginalParent(const RecordedProcess& record) {
    Candidate candidate = OpenCandidate(record.parentId);
    if (candidate.process) {
        const uint64_t created = ProcessCreationTime(candidate.process.get());
        candidate.parent.createdBefore =
            created != 0 && created == record.parentCreatedAt && created <= record.createdAt;
    }
    return candidate;
}

// A live process of the program's session with the same token: the shell first, then any.
Candidate SessionProcess(const RecordedProcess& record) {
    const UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, kAllProcesses));
    if (!snapshot) {
        return {};
    }
    std::vector<PROCESSENTRY32W> shells;
    std::vector<PROCESSENTRY32W> others;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId() ||
            entry.th32ProcessID == record.stopped.processId) {
            continue;
        }
        (lstrcmpiW(entry.szExeFile, kShellImage) == 0 ? shells : others).push_back(entry);
    }
    shells.insert(shells.end(), others.begin(), others.end());
    for (const PROCESSENTRY32W& one : shells) {
        Candidate candidate = OpenCandidate(one.th32ProcessID);
        if (candidate.parent.alive && SameRights(candidate.parent.rights, record.rights)) {
            return candidate;
        }
    }
    return {};
}

class AttributeList {
public:
    bool Init() {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, kOneAttribute, kReservedFlags, &size);
        buffer_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (!InitializeProcThreadAttributeList(list_, kOneAttribute, kReservedFlags, &size)) {
            list_ = nullptr;
            return false;
        }
        return true;
    }
    ~AttributeList() {
        if (list_ != nullptr) {
            DeleteProcThreadAttributeList(list_);
        }
    }
    AttributeList() = default;
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::vector<BYTE> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

using CreateEnvironmentBlockFn = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
using DestroyEnvironmentBlockFn = BOOL(WINAPI*)(LPVOID);

template <typename Fn> Fn LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// userenv.dll is not a KnownDLL: a static import would be looked for beside this elevated
// program first (a download folder). Only the system folder's copy is loaded, by its full path,
// and only when an unelevated program is started again.
struct UserEnvironmentLibrary {
    UniqueModule module;
    CreateEnvironmentBlockFn create = nullptr;
    DestroyEnvironmentBlockFn destroy = nullptr;
    long error = ERROR_SUCCESS;
};

UserEnvironmentLibrary LoadUserEnvironmentLibrary() {
    UserEnvironmentLibrary library;
    std::vector<wchar_t> folder(GetSystemDirectoryW(nullptr, 0) + 1);
    const UINT written = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (written == 0 || written >= folder.size()) {
        library.error = static_cast<long>(GetLastError());
        return library;
    }
    const std::wstring path = std::wstring(folder.data(), written) + L"\\userenv.dll";
    uint32_t error = ERROR_SUCCESS;
    const auto attempt = [&](uint32_t searchFlags, uint32_t& errorCode) {
        library.module.reset(LoadLibraryExW(path.c_str(), nullptr, searchFlags));
        if (!library.module) {
            errorCode = GetLastError();
            return false;
        }
        return true;
    };
    if (!LoadWithSearchFallback(attempt, error)) {
        library.error = static_cast<long>(error);
        return library;
    }
    library.create =
        LookUp<CreateEnvironmentBlockFn>(library.module.get(), "CreateEnvironmentBlock");
    library.destroy =
        LookUp<DestroyEnvironmentBlockFn>(library.module.get(), "DestroyEnvironmentBlock");
    if (library.create == nullptr || library.destroy == nullptr) {
        library.error = static_cast<long>(GetLastError());
    }
    return library;
}

class EnvironmentBlock {
public:
    explicit EnvironmentBlock(DestroyEnvironmentBlockFn destroy) : destroy_(destroy) {}
    ~EnvironmentBlock() {
        if (block_ != nullptr) {
            destroy_(block_);
        }
    }
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
    void** put() { return &block_; }
    void* get() const { return block_; }

private:
    DestroyEnvironmentBlockFn destroy_;
    void* block_ = nullptr;
};

// Started suspended: the program runs only once its token is seen to be no higher.
long StartThrough(HANDLE parent, const RecordedProcess& record, std::wstring commandLine) {
    if (!record.token) {
        return record.tokenError != 0 ? static_cast<long>(record.tokenError) : ERROR_ACCESS_DENIED;
    }
    const UserEnvironmentLibrary library = LoadUserEnvironmentLibrary();
    if (library.error != ERROR_SUCCESS) {
        return library.error;
    }
    EnvironmentBlock environment(library.destroy);
    if (!library.create(environment.put(), record.token.get(), kOwnEnvironmentOnly)) {
        return static_cast<long>(GetLastError());
    }
    AttributeList attributes;
    if (!attributes.Init() ||
        !UpdateProcThreadAttribute(attributes.get(), kReservedFlags,
                                   PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent, sizeof parent,
                                   nullptr, nullptr)) {
        return static_cast<long>(GetLastError());
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.lpAttributeList = attributes.get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(kNoApplicationName, &commandLine[0], kDefaultSecurity, kDefaultSecurity,
                        kNoHandleInheritance,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                            EXTENDED_STARTUPINFO_PRESENT,
                        environment.get(), kToolsWorkingFolder, &startup.StartupInfo, &started)) {
        return static_cast<long>(GetLastError());
    }
    const UniqueProcess process(started.hProcess);
    const UniqueHandle<KernelHandleTraits> thread(started.hThread);
    if (!NoHigherRights(ReadProcessRights(process.get()), record.rights)) {
        TerminateProcess(process.get(), kNotRunExitCode);
        return ERROR_ACCESS_DENIED;
    }
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        const long error = static_cast<long>(GetLastError());
        TerminateProcess(process.get(), kNotRunExitCode);
        return error;
    }
    return ERROR_SUCCESS;
}

} // namespace

std::wstring RestartCommandLine(const std::wstring& imagePath, const std::wstring& parameters) {
    std::wstring commandLine = L"\"" + imagePath + L"\"";
    const size_t first = parameters.find_first_not_of(L' ');
    if (first != std::wstring::npos) {
        commandLine += L" " + parameters.substr(first);
    }
    return commandLine;
}

long StartFromTool(const std::wstring& imagePath, const std::wstring& parameters) {
    std::wstring commandLine = ToolCommandLine(imagePath, parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    // The image is named as the application, so no search and no parsing of the command line
    // decides which file runs.
    if (!CreateProcessW(imagePath.c_str(), &commandLine[0], kDefaultSecurity, kDefaultSecurity,
                        kNoHandleInheritance, kDefaultCreation, kToolsEnvironment,
                        kToolsWorkingFolder, &startup, &started)) {
        return ShellStyleStartError(GetLastError());
    }
    const UniqueProcess process(started.hProcess);
    const UniqueHandle<KernelHandleTraits> thread(started.hThread);
    return ERROR_SUCCESS;
}

RestartOutcome StartAsRecorded(const RecordedProcess& record, const std::wstring& imagePath,
                               const std::wstring& parameters) {
    RestartOutcome outcome;
    Candidate original = OriginalParent(record);
    Candidate session;
    outcome.route = DecideRestart(record.rights, original.parent, session.parent);
    if (outcome.route == RestartRoute::NotStarted && record.rights.known) {
        session = SessionProcess(record);
        outcome.route = DecideRestart(record.rights, original.parent, session.parent);
    }
    switch (outcome.route) {
    case RestartRoute::FromTool:
        return outcome;
    case RestartRoute::NotStarted:
        outcome.errorCode = record.rights.known      ? ERROR_NOT_FOUND
                            : record.tokenError != 0 ? static_cast<long>(record.tokenError)
                                                     : ERROR_ACCESS_DENIED;
        return outcome;
    case RestartRoute::OriginalParent:
    case RestartRoute::SessionProcess:
        break;
    }
    const HANDLE parent = outcome.route == RestartRoute::OriginalParent ? original.process.get()
                                                                        : session.process.get();
    outcome.errorCode = StartThrough(parent, record, RestartCommandLine(imagePath, parameters));
    outcome.started = outcome.errorCode == ERROR_SUCCESS;
    return outcome;
}

} // namespace qm
