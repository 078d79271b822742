#pragma once
// Measurement builds only (QM_STEP_TIMES): passes every step of the run through to the real
// edges and adds up the time each kind of step takes, so that the program's own cost can be
// broken down. The table is appended to the file that the environment variable QM_STEP_TIMES
// names, when the run is over. Never part of the shipped program.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "run/run_edges.h"

namespace qm {

class TimedEdges : public RunEdges {
public:
    explicit TimedEdges(RunEdges& inner) : inner_(inner) {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
        // From the process's creation to the first tick: Wine's start-up, the window, the timer.
        FILETIME created{}, unused{}, now{};
        GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
        GetSystemTimeAsFileTime(&now);
        startToTick_ = static_cast<double>(Ticks(now) - Ticks(created)) / 10000.0;
    }
    ~TimedEdges() override { Write(); }
    TimedEdges(const TimedEdges&) = delete;
    TimedEdges& operator=(const TimedEdges&) = delete;

    void KillRunTimer() override {
        Time("KillRunTimer", [&] { inner_.KillRunTimer(); });
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        toBox_ = Elapsed(start_);
        inner_.ShowMessage(text, caption);
    }
    void DestroyHostWindow() override { inner_.DestroyHostWindow(); }
    void Wait(uint32_t milliseconds) override {
        Time("Wait (fixed)", [&] { inner_.Wait(milliseconds); });
    }
    StartResult StartProgram(const std::wstring& imagePath,
                             const std::wstring& parameters) override {
        return Time("StartProgram", [&] { return inner_.StartProgram(imagePath, parameters); });
    }
    bool GetRoamingAppDataFolder(std::wstring& folder) override {
        return Time("GetRoamingAppDataFolder",
                    [&] { return inner_.GetRoamingAppDataFolder(folder); });
    }
    bool FolderExists(const std::wstring& folder) override {
        return Time("FolderExists", [&] { return inner_.FolderExists(folder); });
    }
    bool LoadVersionLibrary(uint32_t& errorCode) override {
        return Time("LoadVersionLibrary", [&] { return inner_.LoadVersionLibrary(errorCode); });
    }
    std::wstring GetCatalogueAppPath() override {
        return Time("GetCatalogueAppPath", [&] { return inner_.GetCatalogueAppPath(); });
    }
    std::wstring CollectVendorAppPaths() override {
        return Time("CollectVendorAppPaths", [&] { return inner_.CollectVendorAppPaths(); });
    }
    std::wstring FindLegacyAppPath() override {
        return Time("FindLegacyAppPath", [&] { return inner_.FindLegacyAppPath(); });
    }
    std::wstring ReadLegacyAppPath() override {
        return Time("ReadLegacyAppPath", [&] { return inner_.ReadLegacyAppPath(); });
    }
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override {
        return Time("StopProcessesByName", [&] { return inner_.StopProcessesByName(imageName); });
    }
    bool GetFileVersionNumbers(const std::wstring& filePath, FileVersionNumbers& numbers) override {
        return Time("GetFileVersionNumbers",
                    [&] { return inner_.GetFileVersionNumbers(filePath, numbers); });
    }
    bool IsReplacementNewer(const std::wstring& folder, const std::wstring& fileName) override {
        return Time("IsReplacementNewer",
                    [&] { return inner_.IsReplacementNewer(folder, fileName); });
    }
    void DeployReplacementFile(const std::wstring& installFolder, const std::wstring& userFolder,
                               const std::wstring& fileName) override {
        Time("DeployReplacementFile",
             [&] { inner_.DeployReplacementFile(installFolder, userFolder, fileName); });
    }
    void DeployReplacementFileAs(const std::wstring& folder, const std::wstring& sourceName,
                                 const std::wstring& targetName) override {
        Time("DeployReplacementFileAs",
             [&] { inner_.DeployReplacementFileAs(folder, sourceName, targetName); });
    }
    void RestoreFile(const std::wstring& savedCopy, const std::wstring& originalPath) override {
        Time("RestoreFile", [&] { inner_.RestoreFile(savedCopy, originalPath); });
    }
    void RemoveCreatedFile(const std::wstring& path) override {
        Time("RemoveCreatedFile", [&] { inner_.RemoveCreatedFile(path); });
    }

private:
    struct Total {
        int calls = 0;
        double milliseconds = 0;
    };

    static ULONGLONG Ticks(const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    }

    double Elapsed(const LARGE_INTEGER& since) const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - since.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

    // Exceptions pass through; a step that throws counts up to the throw.
    template <typename Step> auto Time(const char* name, Step step) -> decltype(step()) {
        LARGE_INTEGER began;
        QueryPerformanceCounter(&began);
        struct Record {
            const TimedEdges& self;
            Total& total;
            const LARGE_INTEGER& began;
            ~Record() {
                ++total.calls;
                total.milliseconds += self.Elapsed(began);
            }
        } record{*this, totals_[name], began};
        return step();
    }

    void Write() const {
        char path[MAX_PATH] = {};
        if (GetEnvironmentVariableA("QM_STEP_TIMES", path, MAX_PATH) == 0) {
            return;
        }
        std::FILE* out = std::fopen(path, "a");
        if (!out) {
            return;
        }
        std::fprintf(out, "run\tprocess start to first tick\t1\t%.1f\n", startToTick_);
        for (const auto& [name, total] : totals_) {
            std::fprintf(out, "run\t%s\t%d\t%.1f\n", name.c_str(), total.calls, total.milliseconds);
        }
        std::fprintf(out, "run\tfirst tick to message box\t1\t%.1f\n", toBox_);
        std::fclose(out);
    }

    RunEdges& inner_;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    double startToTick_ = 0;
    double toBox_ = 0;
    std::map<std::string, Total> totals_;
};

} // namespace qm
