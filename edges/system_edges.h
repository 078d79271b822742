#pragma once
// The update run's edges as the program has them: Win32 calls on the host window and the
// system, and the discovery and file operations.
#include "run/run_edges.h"
#include "processes/process_rights.h"

#include <windows.h>

#include <map>
#include <vector>

namespace qm {

class SystemEdges : public RunEdges {
public:
    explicit SystemEdges(HWND hostWindow) : hostWindow_(hostWindow) {}

    void KillRunTimer() override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void DestroyHostWindow() override;

    void Wait(uint32_t milliseconds) override;
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override;
    bool GetRoamingAppDataFolder(std::wstring& folder) override;
    bool FolderExists(const std::wstring& folder) override;
    bool LoadVersionLibrary(uint32_t& errorCode) override;

    std::wstring GetCatalogueAppPath() override;
    std::wstring CollectVendorAppPaths() override;
    std::wstring FindLegacyAppPath() override;
    std::wstring ReadLegacyAppPath() override;
    std::vector<InstallSource> FoundInstallSources() override;

    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override;
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override;
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override;
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override;
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override;
    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override;
    void RemoveCreatedFile(const std::wstring& path) override;

private:
    void Found(const InstallSource& install);

    HWND hostWindow_;
    std::vector<InstallSource> sources_;
    // How each stopped instance ran, by image path, in stop order: each comes back with no more
    // than that.
    std::map<std::wstring, std::vector<RecordedProcess>> stopped_;
};

} // namespace qm
