// One run's edges, composed once from the command line's options: the system's, then the
// backup or the preview, quiet boxes, the log and the preview's list.
#include "app/run_update.h"

#include "app/run_lock.h"
#include "edges/backup_edges.h"
#include "edges/log_edges.h"
#include "edges/planned_edges.h"
#include "edges/preview_edges.h"
#include "edges/quiet_edges.h"
#include "edges/system_edges.h"
#include "edges/written_once_edges.h"
#include "log/run_log.h"
#include "platform/codepage.h"
#include "platform/user_error.h"
#include "run/restore_run.h"
#include "run/update_run.h"

#include <optional>

#ifdef QM_STEP_TIMES
#include "edges/timed_edges.h"
#endif

namespace qm {

namespace {

RunSettings g_settings;
RunResult g_result = RunResult::NotRun;

// Shorter waits are two runs' start-ups brushing past each other, not worth a line.
constexpr DWORD kNoticeableWaitMs = 100;

std::wstring RunLockLine(RunLock::Outcome outcome, DWORD waitedMs, const std::wstring& where) {
    const std::wstring waited = std::to_wstring(waitedMs) + L" ms";
    switch (outcome) {
    case RunLock::Outcome::Busy:
        return L"another run still holds the machine after " + waited + L" (" + where + L")";
    case RunLock::Outcome::Abandoned:
        return L"the run before this one ended without letting go of the machine; waited " +
               waited + L" (" + where + L")";
    case RunLock::Outcome::Held:
        break;
    }
    return L"waited " + waited + L" for another run to finish (" + where + L")";
}

} // namespace

void ConfigureRun(const RunSettings& settings) {
    g_settings = settings;
}

RunResult LastRunResult() {
    return g_result;
}

void RunUpdate(HWND window, UINT_PTR timerId) {
    SystemEdges system(window);
    RunEdges* edges = &system;
#ifdef QM_STEP_TIMES
    std::optional<TimedEdges> timed;
    if (timerId == kRunTimerId) {
        timed.emplace(*edges);
        edges = &*timed;
    }
#endif
    // Innermost first: what acts (or only pretends to; every run that may write is backed up,
    // the run without arguments and a restore too), then whether boxes are seen, then the log,
    // then the preview's list in place of the box, so the log records the box as shown.
    // A run that writes decides everything first (planned), over the backup, which saves what
    // the plan overwrites before the first stop and puts it back after a failure, over the
    // deployments, which write each file once.
    std::optional<WrittenOnceEdges> once;
    std::optional<BackupEdges> backup;
    std::optional<PlannedEdges> planned;
    std::optional<PreviewEdges> preview;
    if (g_settings.options.preview) {
        preview.emplace(*edges);
        edges = &*preview;
    } else {
        once.emplace(*edges);
        edges = &*once;
        backup.emplace(*edges);
        edges = &*backup;
        if (!g_settings.options.restore) {
            planned.emplace(*edges);
            edges = &*planned;
        }
    }
    std::optional<QuietEdges> quiet;
    if (!g_settings.showBoxes) {
        quiet.emplace(*edges);
        edges = &*quiet;
    }
    std::optional<LogEdges> logged;
    if (g_settings.log) {
        logged.emplace(*edges, *g_settings.log, g_settings.options.preview);
        edges = &*logged;
    }
    std::optional<PreviewBoxEdges> previewBox;
    if (preview && !g_settings.options.restore) {
        previewBox.emplace(*edges, *preview);
        edges = &*previewBox;
    }
    RunResult result = RunResult::NotRun;
    // One run that writes at a time on the machine; a preview changes nothing and never waits.
    std::optional<RunLock> lock;
    RunLock::Outcome locked = RunLock::Outcome::Held;
    if (timerId == kRunTimerId && !g_settings.options.preview) {
        DWORD waitedMs = 0;
        locked = lock.emplace().Acquire(kRunLockWaitMs, waitedMs);
        if (g_settings.log && (waitedMs >= kNoticeableWaitMs || locked != RunLock::Outcome::Held)) {
            g_settings.log->Write(RunLockLine(locked, waitedMs, lock->where()));
        }
    }
    if (locked == RunLock::Outcome::Busy) {
        result = RefuseRunWith(*edges, timerId,
                               ToNarrow(FormatUserMessage(
                                   kAnotherRunBusy, {static_cast<unsigned long>(WAIT_TIMEOUT)})));
    } else if (g_settings.options.restore) {
        SystemBackupLibrary library;
        result =
            RunRestoreWith(*edges, library,
                           {g_settings.options.restoreStamp, g_settings.options.preview}, timerId);
    } else {
        result = RunUpdateWith(*edges, timerId);
    }
    if (backup) {
        backup->Close(result);
    }
    if (result != RunResult::NotRun) {
        g_result = result;
    }
}

} // namespace qm
