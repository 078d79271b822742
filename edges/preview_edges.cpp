// The preview decorators: pretend to act, and list what a real run would do in the box.
#include "edges/preview_edges.h"

#include "fileops/deploy.h"
#include "fileops/deploy_targets.h"
#include "processes/terminate.h"
#include "platform/codepage.h"

#include <windows.h>

namespace qm {

namespace {

constexpr char kPreviewCaption[] = "\xD4\xA4\xC0\xC0"; // 预览

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::wstring PreviewText(const std::vector<std::wstring>& lines, const std::wstring& outcomeText) {
    std::wstring text = L"预览: 未做任何修改。实际运行将会:\n";
    if (lines.empty()) {
        text += L"(无事可做)\n";
    }
    for (const std::wstring& line : lines) {
        text += L"- " + line + L"\n";
    }
    return text + L"\n实际运行的结果: " + outcomeText;
}

void PreviewBoxEdges::ShowMessage(const std::string& text, const std::string& caption) {
    const std::wstring outcome = ToWide(caption) + L": " + ToWide(text);
    ForwardingEdges::ShowMessage(ToNarrow(PreviewText(listing_.lines(), outcome)), kPreviewCaption);
}

void PreviewEdges::Wait(uint32_t) {}

StartResult PreviewEdges::StartProgram(const std::wstring& imagePath,
                                       const std::wstring& parameters) {
    lines_.push_back(L"重新启动 \"" + imagePath + L"\"" + parameters);
    // A start that did not happen must not be reported as a failure.
    return {true, 0, {}};
}

void PreviewEdges::ListNewSources() {
    const std::vector<InstallSource> sources = ForwardingEdges::FoundInstallSources();
    for (; sourcesListed_ < sources.size(); ++sourcesListed_) {
        lines_.push_back(L"找到安装 " + sources[sourcesListed_].appPath + L" (" +
                         sources[sourcesListed_].where + L")");
    }
}

std::wstring PreviewEdges::GetCatalogueAppPath() {
    const std::wstring path = ForwardingEdges::GetCatalogueAppPath();
    ListNewSources();
    return path;
}

std::wstring PreviewEdges::CollectVendorAppPaths() {
    const std::wstring paths = ForwardingEdges::CollectVendorAppPaths();
    ListNewSources();
    return paths;
}

std::wstring PreviewEdges::FindLegacyAppPath() {
    const std::wstring path = ForwardingEdges::FindLegacyAppPath();
    ListNewSources();
    return path;
}

std::wstring PreviewEdges::ReadLegacyAppPath() {
    const std::wstring path = ForwardingEdges::ReadLegacyAppPath();
    ListNewSources();
    return path;
}

std::vector<StoppedProcess> PreviewEdges::StopProcessesByName(const std::wstring& imageName) {
    const std::vector<StoppedProcess> running = FindProcessesByName(imageName);
    for (const StoppedProcess& process : running) {
        lines_.push_back(L"结束 " + imageName + L" (进程 " + std::to_wstring(process.processId) +
                         L", " + process.imagePath + L")");
    }
    return running;
}

bool PreviewEdges::IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) {
    const bool newer = ForwardingEdges::IsReplacementNewer(folder, fileName);
    if (newer) {
        lines_.push_back(L"以 LicenseFile 中更新的 " + fileName + L" 替换 " + folder);
    }
    return newer;
}

void PreviewEdges::ListCopy(const std::wstring& sourceName, const std::wstring& target,
                            bool onlyIfPresent) {
    const bool present = Exists(target);
    if (onlyIfPresent && !present) {
        return;
    }
    std::wstring line =
        L"复制 LicenseFile\\" + sourceName + L" 到 " + target + (present ? L" (替换)" : L" (新建)");
    if (!Exists(ReplacementSourcePath(ProgramFolder(), sourceName))) {
        line += L", 但 LicenseFile 中没有此文件: 运行将在此失败";
    }
    lines_.push_back(line);
}

void PreviewEdges::DeployReplacementFile(const std::wstring& installFolder,
                                         const std::wstring& userFolder,
                                         const std::wstring& fileName) {
    for (const DeployTarget& target : ReplacementTargets(installFolder, userFolder, fileName)) {
        ListCopy(target.sourceName, target.path, target.onlyIfPresent);
    }
}

void PreviewEdges::DeployReplacementFileAs(const std::wstring& folder,
                                           const std::wstring& sourceName,
                                           const std::wstring& targetName) {
    for (const DeployTarget& target : ReplacementTargetsAs(folder, sourceName, targetName)) {
        ListCopy(target.sourceName, target.path, target.onlyIfPresent);
    }
}

} // namespace qm
