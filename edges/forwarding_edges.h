#pragma once
// A decorator's base: every edge passes through to the inner edges unchanged, so a capability
// that watches or guards a few calls (the log, the backup, the preview, quiet boxes) overrides
// only those.
#include "run/run_edges.h"

namespace qm {

class ForwardingEdges : public RunEdges {
public:
    explicit ForwardingEdges(RunEdges& inner) : inner_(inner) {}

    void KillRunTimer() override { inner_.KillRunTimer(); }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        inner_.ShowMessage(text, caption);
    }
    void DestroyHostWindow() override { inner_.DestroyHostWindow(); }
    void Wait(uint32_t milliseconds) override { inner_.Wait(milliseconds); }
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override {
        return inner_.StartProgram(imagePath, parameters);
    }
    bool GetRoamingAppDataFolder(std::wstring& folder) override {
        return inner_.GetRoamingAppDataFolder(folder);
    }
    bool FolderExists(const std::wstring& folder) override { return inner_.FolderExists(folder); }
    bool LoadVersionLibrary(uint32_t& errorCode) override {
        return inner_.LoadVersionLibrary(errorCode);
    }
    std::wstring GetCatalogueAppPath() override { return inner_.GetCatalogueAppPath(); }
    std::wstring CollectVendorAppPaths() override { return inner_.CollectVendorAppPaths(); }
    std::wstring FindLegacyAppPath() override { return inner_.FindLegacyAppPath(); }
    std::wstring ReadLegacyAppPath() override { return inner_.ReadLegacyAppPath(); }
    std::vector<InstallSource> FoundInstallSources() override {
        return inner_.FoundInstallSources();
    }
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override {
        return inner_.StopProcessesByName(imageName);
    }
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override {
        return inner_.GetFileVersionNumbers(filePath, numbers);
    }
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override {
        return inner_.IsReplacementNewer(folder, fileName);
    }
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override {
        inner_.DeployReplacementFile(installFolder, userFolder, fileName);
    }
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override {
        inner_.DeployReplacementFileAs(folder, sourceName, targetName);
    }
    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override {
        inner_.RestoreFile(savedCopy, originalPath);
    }
    void RemoveCreatedFile(const std::wstring& path) override { inner_.RemoveCreatedFile(path); }
    void PrepareWrites(const DeployPlan& plan) override { inner_.PrepareWrites(plan); }
    RollbackReport RollBackWrites() override { return inner_.RollBackWrites(); }

protected:
    RunEdges& inner() { return inner_; }

private:
    RunEdges& inner_;
};

} // namespace qm
