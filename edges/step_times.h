#pragma once
// Measurement builds only (QM_STEP_TIMES): an observer of the executor that adds up the time
// each part of the run takes, so that the program's own cost can be broken down. The table is
// appended to the file that the environment variable QM_STEP_TIMES names, when the run is
// over. Never part of the shipped program; the run it watches is the shipped program's.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "run/executor.h"

namespace qm {

class StepTimes : public Observer {
public:
    StepTimes() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
        last_ = start_;
        // From the process's creation to the first tick: Wine's start-up, the window, the timer.
        FILETIME created{}, unused{}, now{};
        GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
        GetSystemTimeAsFileTime(&now);
        startToTick_ = static_cast<double>(Ticks(now) - Ticks(created)) / 10000.0;
    }
    ~StepTimes() override { Write(); }
    StepTimes(const StepTimes&) = delete;
    StepTimes& operator=(const StepTimes&) = delete;

    void Planned(const Plan&) override { Lap("facts and plan"); }
    void Checked() override { Lap("checks before the stop"); }
    void Saved() override { Lap("backup set"); }
    void Begins(const Step&) override { Lap("between steps"); }
    void Ends(const Step& step, const std::wstring*) override { Lap(NameOf(step.kind)); }
    void RolledBack(const RollbackReport&) override { Lap("rollback"); }
    void Shown(const std::wstring&, const std::wstring&) override {
        Lap("to the box");
        toBox_ = Since(start_);
    }

private:
    struct Total {
        int calls = 0;
        double milliseconds = 0;
    };

    static const char* NameOf(StepKind kind) {
        switch (kind) {
        case StepKind::Stop:
            return "step: stop";
        case StepKind::RequireEnded:
            return "step: require ended";
        case StepKind::Wait:
            return "step: wait (fixed)";
        case StepKind::Stage:
            return "step: stage";
        case StepKind::Copy:
            return "step: copy";
        case StepKind::Remove:
            return "step: remove";
        case StepKind::Note:
            return "step: note";
        case StepKind::Restart:
            return "step: restart";
        }
        return "step";
    }

    static ULONGLONG Ticks(const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    }

    double Since(const LARGE_INTEGER& since) const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - since.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

    // The time since the last event, counted to name.
    void Lap(const char* name) {
        Total& total = totals_[name];
        ++total.calls;
        total.milliseconds += Since(last_);
        QueryPerformanceCounter(&last_);
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

    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    LARGE_INTEGER last_{};
    double startToTick_ = 0;
    double toBox_ = 0;
    std::map<std::string, Total> totals_;
};

} // namespace qm
