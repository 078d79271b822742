#include "app/run_update.h"

#include "app/backup_edges.h"
#include "app/forwarding_edges.h"
#include "app/log_edges.h"
#include "app/preview_edges.h"
#include "app/restore_run.h"
#include "app/system_edges.h"
#include "app/update_run.h"

#include <optional>

#ifdef QM_STEP_TIMES
#include "app/timed_edges.h"
#endif

namespace qm {

namespace {

RunSettings g_settings;
RunResult g_result = RunResult::NotRun;

// No box is shown; the outcome is the exit code (and the log, which sits outside this).
class QuietEdges : public ForwardingEdges {
public:
    using ForwardingEdges::ForwardingEdges;
    void ShowMessage(const std::string&, const std::string&) override {}
};

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
    std::optional<BackupEdges> backup;
    std::optional<PreviewEdges> preview;
    if (g_settings.options.preview) {
        preview.emplace(*edges);
        edges = &*preview;
    } else {
        backup.emplace(*edges);
        edges = &*backup;
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
    if (g_settings.options.restore) {
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
