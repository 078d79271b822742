// The log observer: each event of the run as one line of its log.
#include "edges/log_observer.h"

#include "edges/run_identity.h"

#include "fileops/deploy.h"
#include "fileops/file_hash.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/win_handles.h"

#include "log/log_lines.h"
#include "run/preview.h"
#include "backup/backup_manifest.h"

#include <exception>
#include <map>
#include <vector>

namespace qm {

namespace {

constexpr wchar_t kAbsentHash[] = L"(none)";
constexpr wchar_t kAlreadyCurrent[] =
    L"already current: every file holds the LicenseFile bytes and no program is newer; nothing "
    L"is stopped, written or started";

std::wstring HashOrAbsent(const std::wstring& path) {
    std::string hex;
    return HashFile(path, hex) ? ToWide(hex) : std::wstring(kAbsentHash);
}

void LogLicenseFolder(RunLog& log) {
    const std::wstring folder = LicenseFolderPath();
    log.Write(L"LicenseFile folder: " + folder);
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW(JoinPath(folder, L"*").c_str(), &found));
    if (!find) {
        log.Write(L"LicenseFile folder cannot be read");
        return;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        const std::wstring path = JoinPath(folder, found.cFileName);
        log.Write(L"LicenseFile\\" + std::wstring(found.cFileName) + L" sha256 " +
                  HashOrAbsent(path));
    } while (FindNextFileW(find.get(), &found));
}

std::wstring ProgramLine(const std::wstring& imagePath, const std::wstring& parameters) {
    return L"\"" + imagePath + L"\"" + parameters;
}

std::wstring ProcessLine(const std::wstring& image, const StoppedProcess& process) {
    std::wstring line = image + L" running, process id " + std::to_wstring(process.processId) +
                        L", " +
                        (process.imagePath.empty() ? L"path unreadable" : process.imagePath);
    if (!process.rights.empty()) {
        line += L", " + process.rights;
    }
    return line;
}

std::wstring NoteLine(const Step& step, bool preview) {
    switch (step.note) {
    case NoteKind::Newer:
        return L"LicenseFile\\" + step.target.substr(step.target.find_last_of(L'\\') + 1) +
               L" is newer: " + step.target + (preview ? L" would be replaced" : L" is replaced");
    case NoteKind::NotNewer:
        // Not newer than nothing: a program that is not installed is no older one.
        return (HashOrAbsent(step.target) == kAbsentHash ? L"not installed, not replaced: "
                                                         : L"not newer, not replaced: ") +
               step.target;
    case NoteKind::NotPresent:
        return L"not present, not copied: " + step.target;
    }
    return std::wstring();
}

std::wstring CheckedLine(const PlannedCheck& check) {
    switch (check.kind) {
    case CheckKind::TargetWritable:
        return L"the file cannot be opened for writing and deleting: " + check.path;
    case CheckKind::SourceReadable:
        return L"the file to copy cannot be read: " + check.path;
    case CheckKind::TargetFolder:
        return L"the folder to copy into is not there: " + ParentFolder(check.path);
    case CheckKind::FolderCreatable:
        return L"the folder cannot be made: " + check.path;
    case CheckKind::LinkFree:
        return L"a link lies between " + check.root + L" and " + check.path;
    case CheckKind::Savable:
        return L"the file cannot be read for its backup: " + check.path;
    }
    return check.path;
}

const wchar_t* VerdictText(ProfileFacts::Verdict verdict) {
    switch (verdict) {
    case ProfileFacts::Verdict::Served:
        return L"served";
    case ProfileFacts::Verdict::NoSuite:
        return L"not served";
    case ProfileFacts::Verdict::NotCounted:
        return L"not counted";
    case ProfileFacts::Verdict::LeftOut:
        return L"left out for safety";
    }
    return L"";
}

// Each profile of a run for all users, its verdict and why, then the totals.
void LogProfiles(RunLog& log, const Facts& facts) {
    if (!facts.allUsers) {
        return;
    }
    size_t served = 0;
    size_t leftOut = 0;
    for (const ProfileFacts& profile : facts.profiles) {
        std::wstring line = L"profile " + profile.sid;
        if (!profile.account.empty()) {
            line += L" (" + profile.account + L")";
        }
        if (!profile.folder.empty()) {
            line += L" " + profile.folder;
        }
        if (!profile.appData.empty()) {
            line += L", AppData " + profile.appData +
                    (profile.appDataFromHive ? L" (from the user's hive)" : L" (default)");
        }
        line += std::wstring(L": ") + VerdictText(profile.verdict);
        if (!profile.reason.empty()) {
            line += L": " + profile.reason;
        }
        log.Write(line);
        if (!profile.catalogueReason.empty()) {
            log.Write(L"profile " + profile.sid + L": catalogue left out for safety: " +
                      profile.catalogueReason);
        }
        served += profile.verdict == ProfileFacts::Verdict::Served ? 1 : 0;
        leftOut +=
            profile.verdict == ProfileFacts::Verdict::LeftOut || !profile.catalogueReason.empty()
                ? 1
                : 0;
    }
    log.Write(L"profiles: " + std::to_wstring(facts.profiles.size()) + L" listed, " +
              std::to_wstring(served) + L" served, " + std::to_wstring(leftOut) +
              L" with something left out for safety");
}

} // namespace

void WriteRunStart(RunLog& log) {
    const RunIdentity identity = ReadRunIdentity();
    log.Write(L"Quillmend " + identity.version + L" started on " + identity.machine + L" as " +
              identity.account + (identity.elevated ? L", elevated" : L", not elevated"));
    log.Write(L"command line: " + std::wstring(GetCommandLineW()));
    LogLicenseFolder(log);
}

// Which certificate and key each file holds, LicenseFile's and those they would replace: from
// the log alone, which certificate a machine held before the run and which it holds after.
void LogTlsFiles(RunLog& log, const Facts& facts) {
    for (const auto& [path, pem] : facts.pem) {
        log.Write(PemLabel(pem.kind) + (L": " + path) + L" " + PemDetails(pem));
    }
    for (const std::wstring& path : facts.emptyFiles) {
        log.Write(L"empty file: " + path);
    }
    switch (facts.keyPair) {
    case KeyPairVerdict::Matches:
        log.Write(L"LicenseFile key pair: the key belongs to the certificate (signature verified)");
        break;
    case KeyPairVerdict::Mismatch:
        log.Write(L"LicenseFile key pair: the key does not belong to the certificate");
        break;
    case KeyPairVerdict::NotChecked:
        break;
    }
}

void LogFacts(RunLog& log, const Facts& facts) {
    const auto lookup = [&log](const Lookup& made) {
        if (!made.failure.empty()) {
            log.Write(made.name + L" cannot be read: " + made.failure);
            return;
        }
        if (made.found.empty()) {
            log.Write(made.name + L": no install");
        }
        for (const InstallSource& source : made.found) {
            log.Write(L"install found: " + source.appPath + L" (" + source.where + L")");
        }
    };
    // The current suite's lookups, what its branch needs, then the older generations'.
    constexpr size_t kCurrentSuiteLookups = 2;
    for (size_t i = 0; i < facts.lookups.size() && i < kCurrentSuiteLookups; ++i) {
        lookup(facts.lookups[i]);
    }
    if (facts.versionLibraryError != 0) {
        log.Write(L"version.dll cannot be loaded, Errcode " +
                  std::to_wstring(facts.versionLibraryError));
    }
    if (facts.appDataAsked) {
        log.Write(!facts.appDataFolder.empty()
                      ? L"roaming AppData folder: " + facts.appDataFolder
                      : std::wstring(L"roaming AppData folder cannot be had"));
    }
    for (size_t i = kCurrentSuiteLookups; i < facts.lookups.size(); ++i) {
        lookup(facts.lookups[i]);
    }
    LogProfiles(log, facts);
    LogTlsFiles(log, facts);
}

void LogPreview(RunLog& log, const Plan& plan, const Facts& facts) {
    if (plan.alreadyCurrent) {
        log.Write(kAlreadyCurrent);
    }
    for (const Foretold& one : Foretell(plan, facts)) {
        const Step& step = *one.step;
        switch (one.kind) {
        case Foretold::Kind::NotRunning:
            if (!step.unlessKept) {
                log.Write(step.image + L" is not running");
            }
            break;
        case Foretold::Kind::End:
            log.Write(ProcessLine(step.image, one.process) + L": would be ended");
            break;
        case Foretold::Kind::Copy:
            log.Write(std::wstring(facts.present.count(step.target) ? L"would replace: "
                                                                    : L"would create: ") +
                      step.target + L" sha256 " + HashOrAbsent(step.target) + L" -> " +
                      HashOrAbsent(step.source));
            break;
        case Foretold::Kind::Remove:
            log.Write(L"would remove: " + step.target);
            break;
        case Foretold::Kind::Note:
            log.Write(NoteLine(step, true));
            break;
        case Foretold::Kind::Start:
            log.Write(L"would start again: " + ProgramLine(one.path, step.parameters));
            break;
        }
    }
}

void LogObserver::Planned(const Plan& plan) {
    if (!plan.refusal.empty()) {
        return;
    }
    if (plan.alreadyCurrent) {
        log_.Write(kAlreadyCurrent);
        return;
    }
    size_t copies = 0;
    for (const Step& step : plan.steps) {
        copies += step.kind == StepKind::Copy || step.kind == StepKind::Remove ? 1 : 0;
    }
    log_.Write(L"plan: " + std::to_wstring(plan.steps.size()) + L" steps, " +
               std::to_wstring(copies) + L" files to write, " +
               std::to_wstring(plan.checks.size()) + L" checks before anything is stopped");
}

void LogObserver::Refused(const PlannedCheck& check, unsigned long error) {
    log_.Write(L"refused before anything was stopped: " + CheckedLine(check) + L", Errcode " +
               std::to_wstring(static_cast<int32_t>(error)));
}

void LogObserver::Begins(const Step& step) {
    if (step.kind == StepKind::Copy || step.kind == StepKind::Remove) {
        before_ = HashOrAbsent(step.target);
    }
}

void LogObserver::Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) {
    if (stopped.empty()) {
        log_.Write(step.image + L" is not running");
    }
    for (const StoppedProcess& process : stopped) {
        std::wstring line = ProcessLine(step.image, process);
        line += !process.ended          ? L": not ended"
                : process.endError == 0 ? L": ended"
                                        : L": ended, but still there after the wait";
        if (process.endError != 0) {
            line += L", Errcode " + std::to_wstring(static_cast<int32_t>(process.endError));
        }
        log_.Write(line);
    }
}

void LogObserver::Started(const std::wstring& imagePath, const std::wstring& parameters,
                          const StartResult& result) {
    const std::wstring program = ProgramLine(imagePath, parameters);
    if (result.started) {
        log_.Write(L"started again: " + program);
        return;
    }
    std::wstring codes = std::to_wstring(result.errorCode);
    for (const long code : result.furtherErrorCodes) {
        codes += L", " + std::to_wstring(code);
    }
    log_.Write(L"not started again: " + program + L", Errcode " + codes);
}

void LogObserver::Ends(const Step& step, const std::wstring* failure) {
    switch (step.kind) {
    case StepKind::Copy: {
        const std::wstring after = HashOrAbsent(step.target);
        if (step.fromBackup) {
            log_.Write(failure ? L"restore failed: " + step.target + L": " + *failure
                               : L"restored: " + step.target + L" sha256 " + before_ + L" -> " +
                                     after + L" from " + step.source);
            return;
        }
        if (after == before_ && after == kAbsentHash && !failure) {
            log_.Write(L"gone since it was found, not created: " + step.target);
        } else if (after == before_) {
            log_.Write((failure ? L"unchanged: " : L"already held these bytes, unchanged: ") +
                       step.target + L" sha256 " + after);
        } else {
            log_.Write(std::wstring(before_ == kAbsentHash ? L"created: " : L"replaced: ") +
                       step.target + L" sha256 " + before_ + L" -> " + after);
        }
        if (failure) {
            log_.Write(L"copy failed: " + *failure);
        }
        return;
    }
    case StepKind::Remove:
        log_.Write(failure ? L"removal failed: " + step.target + L": " + *failure
                           : L"removed the run's new file: " + step.target + L" sha256 " + before_);
        return;
    case StepKind::Note:
        log_.Write(NoteLine(step, false));
        return;
    case StepKind::Stop:
    case StepKind::RequireEnded:
    case StepKind::Wait:
    case StepKind::Stage:
    case StepKind::Restart:
        return;
    }
}

void LogObserver::LeftOut(const std::wstring& profile, const std::wstring& why) {
    log_.Write(L"profile folder " + profile + L": left out for safety, the rest stands: " + why);
}

void LogObserver::RolledBack(const RollbackReport& report) {
    if (report.steps.empty()) {
        return;
    }
    for (const RollbackStep& step : report.steps) {
        switch (step.action) {
        case RollbackStep::Action::Restored:
            log_.Write(L"rolled back: " + step.path + L" sha256 " + HashOrAbsent(step.path) +
                       L", put back from the backup set");
            break;
        case RollbackStep::Action::Removed:
            log_.Write(L"rolled back: " + step.path + L", made by this run, removed");
            break;
        case RollbackStep::Action::Unchanged:
            log_.Write(L"rolled back: " + step.path + L" unchanged, nothing to put back");
            break;
        case RollbackStep::Action::Failed:
            log_.Write(L"not rolled back: " + step.path + L": " + step.failure);
            break;
        }
    }
    if (report.complete()) {
        log_.Write(L"rollback complete: every file is as the run found it");
        return;
    }
    const std::wstring set = report.setFolder.substr(report.setFolder.find_last_of(L'\\') + 1);
    log_.Write(L"rollback incomplete: the files above are not as the run found them; the backup "
               L"set " +
               report.setFolder + L" is kept, and Quillmend.exe /restore:" + set +
               L" finishes the job");
}

void LogObserver::Shown(const std::wstring& text, const std::wstring& caption) {
    for (const std::wstring& line : BoxLines(caption, text)) {
        log_.Write(line);
    }
}

} // namespace qm
