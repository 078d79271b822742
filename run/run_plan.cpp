// The run's decisions over wide text: folders, files, and the restart-failure message.
#include "run/run_plan.h"

#include "platform/paths.h"
#include "platform/user_error.h"

namespace qm {

namespace {
constexpr intptr_t kLastShellExecuteError = 32;
} // namespace

SiblingFolders SiblingFoldersOf(const std::wstring& installFolder) {
    const std::wstring parent = ParentFolder(TrimTrailingBackslash(installFolder));
    return {JoinPath(parent, kClientSubfolder), JoinPath(parent, kCentreSubfolder)};
}

std::vector<std::wstring> TlsFilesForClient(bool hasVersion, int32_t revision) {
    if (hasVersion && revision >= kCombinedTlsRevision) {
        return {kCombinedTlsFile};
    }
    return {kKeyFile, kCertificateFile};
}

std::wstring CatalogueClientFolder(const std::wstring& cataloguePath) {
    return JoinPath(ParentFolder(cataloguePath), kClientSubfolder);
}

std::wstring PerUserBaseFolder(const std::wstring& appDataFolder) {
    return JoinPath(appDataFolder, kVendorSubfolder);
}

std::wstring PerUserClientFolder(const std::wstring& perUserBaseFolder) {
    return JoinPath(perUserBaseFolder, kClientSubfolder);
}

void CollectEndFailures(const std::vector<StoppedProcess>& stopped, const std::wstring& imageName,
                        std::vector<EndFailure>& failures) {
    for (const StoppedProcess& process : stopped) {
        if (process.endError != 0) {
            failures.push_back({process.imagePath.empty() ? imageName : process.imagePath,
                                static_cast<long>(static_cast<int32_t>(process.endError))});
        }
    }
}

std::wstring EndFailureMessage(const std::vector<EndFailure>& failures) {
    std::wstring message;
    for (const EndFailure& failure : failures) {
        if (!message.empty()) {
            message += L'\n';
        }
        message += FormatUserMessage(kEndFailed, {failure.program, failure.code});
    }
    return message;
}

bool NeedsRestart(const std::wstring& imagePath) {
    return !imagePath.empty();
}

bool IsStartFailure(intptr_t shellExecuteResult) {
    return shellExecuteResult <= kLastShellExecuteError;
}

std::wstring RestartFailureMessage(const std::vector<RestartFailure>& failures) {
    std::wstring message;
    for (const RestartFailure& failure : failures) {
        if (!message.empty()) {
            message += L'\n';
        }
        message += FormatUserMessage(kRestartFailed, {failure.imagePath, failure.code});
    }
    return message;
}

} // namespace qm
