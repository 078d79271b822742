#pragma once
// The run's names and small decisions as plain functions over wide text: where an install's
// files go, which TLS files a client server gets, and how failed stops and restarts are
// reported. No Windows API here; the run's steps are planned in plan_update.h.
#include "processes/stopped_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr uintptr_t kRunTimerId = 12345;
// Lets ended programs let go of their files before they are overwritten.
constexpr uint32_t kSettleMilliseconds = 1000;

constexpr wchar_t kServiceImage[] = L"MWSealService.exe";
constexpr wchar_t kClientImage[] = L"MWClientServer.exe";
constexpr wchar_t kUpdaterImage[] = L"MWSealCenterUpdate.exe";
constexpr wchar_t kServiceParameters[] = L" -i";
constexpr wchar_t kNoParameters[] = L"";

constexpr wchar_t kClientSubfolder[] = L"\\MWClientServer";
constexpr wchar_t kCentreSubfolder[] = L"\\MWSealCenter";
constexpr wchar_t kVendorSubfolder[] = L"\\Marrowby";

constexpr wchar_t kCombinedTlsFile[] = L"sslServer.tg";
constexpr wchar_t kKeyFile[] = L"server.key";
constexpr wchar_t kCertificateFile[] = L"server.pem";
constexpr wchar_t kLegacyKeyFile[] = L"ssl.key";
constexpr wchar_t kLegacyCertificateFile[] = L"key.pem";
constexpr wchar_t kUpdaterConfigFile[] = L"MWSealCenterUpdate.xml";
constexpr wchar_t kServiceConfigFile[] = L"MWSealService_config.ini";

// Client servers from this revision on read the combined file; older ones the key pair.
constexpr int32_t kCombinedTlsRevision = 100;

// Messages of the run's own failures, formatted like the deployment messages.
constexpr wchar_t kVersionLibraryFailed[] = L"加载系统版本库version.dll失败，Errcode: %d";
constexpr wchar_t kAppDataFolderFailed[] = L"获取用户应用数据目录(AppData)失败，未做任何修改";
constexpr wchar_t kRestartFailed[] = L"程序重新启动失败[%s], Errcode: %d";
constexpr wchar_t kEndFailed[] = L"程序结束失败[%s], Errcode: %d";
constexpr wchar_t kAnotherRunBusy[] = L"另一次修复运行5分钟后仍未结束, 未做任何修改, Errcode: %d";

// How a run ended, as its box told it.
enum class RunResult {
    NotRun,        // another timer's tick: nothing happened
    Finished,      // the success box, something was found
    NothingFound,  // the success box, no install of any generation
    RestartFailed, // files deployed, a program could not be started again
    Failed,        // the error box of a failure
    LeftOut,       // the success box, but something found was left out for safety
    NotCurrent,    // a check: a run would change something
};

// The sibling folders of an install folder: its parent, after one trailing backslash is
// trimmed, + "\MWClientServer" and + "\MWSealCenter".
struct SiblingFolders {
    std::wstring client;
    std::wstring centre;
};
SiblingFolders SiblingFoldersOf(const std::wstring& installFolder);

// What the client server in a folder receives, by the version of its MWClientServer.exe.
std::vector<std::wstring> TlsFilesForClient(bool hasVersion, int32_t revision);

// The client folder next to a catalogue install: the path is cut before its last backslash
// without trimming first.
std::wstring CatalogueClientFolder(const std::wstring& cataloguePath);

// Roaming application-data folder + "\Marrowby".
std::wstring PerUserBaseFolder(const std::wstring& appDataFolder);

// Per-user base folder + "\MWClientServer".
std::wstring PerUserClientFolder(const std::wstring& perUserBaseFolder);

// A program found running that could not be ended: its image path (its image name where the
// path could not be read) and the Windows error code.
struct EndFailure {
    std::wstring program;
    long code;
};

// Appends the processes of one stop that were found running but could not be ended.
void CollectEndFailures(const std::vector<StoppedProcess>& stopped, const std::wstring& imageName,
                        std::vector<EndFailure>& failures);

// One line per program that could not be ended, in order; empty when every one was.
std::wstring EndFailureMessage(const std::vector<EndFailure>& failures);

// A program is started again only when it was running, that is when its image path is known.
bool NeedsRestart(const std::wstring& imagePath);

// ShellExecute reports failure with a value of 32 or less.
bool IsStartFailure(intptr_t shellExecuteResult);

struct RestartFailure {
    std::wstring imagePath;
    long code;
};

// One line per failed restart, in the order they happened; empty when there is none.
std::wstring RestartFailureMessage(const std::vector<RestartFailure>& failures);

} // namespace qm
