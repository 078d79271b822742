// The run's record: events and facts gathered as they come, one JSON document at the end.
#include "record/run_record.h"

#include "log/log_lines.h"
#include "platform/box_texts.h"
#include "platform/utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <utility>

namespace qm {

namespace {

// Keys stay in the order written, so that a reader sees the run's story top down.
using Json = nlohmann::ordered_json;

constexpr wchar_t kErrcodeMark[] = L"Errcode: ";

Json Text(const std::wstring& text) {
    return ToUtf8(text);
}

Json TextOrNull(const std::wstring& text) {
    return text.empty() ? Json() : Text(text);
}

Json HashOrNull(const std::string& sha256) {
    return sha256.empty() ? Json() : Json(sha256);
}

Json Texts(const std::vector<std::wstring>& texts) {
    Json list = Json::array();
    for (const std::wstring& text : texts) {
        list.push_back(Text(text));
    }
    return list;
}

// The code a box's message ends with ("…, Errcode: 5"); null when it names none.
Json ErrcodeOf(const std::wstring& message) {
    const size_t mark = message.rfind(kErrcodeMark);
    if (mark == std::wstring::npos) {
        return Json();
    }
    size_t at = mark + std::char_traits<wchar_t>::length(kErrcodeMark);
    const bool negative = at < message.size() && message[at] == L'-';
    at += negative ? 1 : 0;
    long long code = 0;
    size_t digits = 0;
    for (; at < message.size() && std::iswdigit(message[at]) && digits < 12; ++at, ++digits) {
        code = code * 10 + (message[at] - L'0');
    }
    return digits == 0 ? Json() : Json(negative ? -code : code);
}

Json PemJson(const PemFacts& pem) {
    if (pem.kind == PemKind::Opaque) {
        return Json();
    }
    Json facts = {{"kind", Text(PemKindName(pem.kind))}};
    if (pem.kind == PemKind::Certificate) {
        facts["subject"] = Text(pem.subject);
        facts["issuer"] = Text(pem.issuer);
        facts["serial"] = pem.serial;
        facts["notBefore"] = Text(FormatIsoUtc(UtcTimeOf(pem.notBefore)));
        facts["notAfter"] = Text(FormatIsoUtc(UtcTimeOf(pem.notAfter)));
        facts["fingerprint"] = pem.fingerprint;
    }
    return facts;
}

const char* KeyPairName(KeyPairVerdict verdict) {
    switch (verdict) {
    case KeyPairVerdict::Matches:
        return "matches";
    case KeyPairVerdict::Mismatch:
        return "mismatch";
    case KeyPairVerdict::NotChecked:
        break;
    }
    return "not checked";
}

const char* VerdictName(ProfileFacts::Verdict verdict) {
    switch (verdict) {
    case ProfileFacts::Verdict::Served:
        return "served";
    case ProfileFacts::Verdict::NoSuite:
        return "no suite";
    case ProfileFacts::Verdict::NotCounted:
        return "not counted";
    case ProfileFacts::Verdict::LeftOut:
        break;
    }
    return "left out";
}

const char* CheckName(CheckKind kind) {
    switch (kind) {
    case CheckKind::TargetWritable:
        return "target writable";
    case CheckKind::SourceReadable:
        return "source readable";
    case CheckKind::TargetFolder:
        return "target folder";
    case CheckKind::FolderCreatable:
        return "folder creatable";
    case CheckKind::LinkFree:
        return "no link";
    case CheckKind::Savable:
        break;
    }
    return "savable";
}

const char* StopResult(const StoppedProcess& process) {
    return !process.ended          ? "not ended"
           : process.endError == 0 ? "ended"
                                   : "still there after the wait";
}

// What a copy did, from the file's fingerprints before and after it.
const char* CopyAction(const std::string& before, const std::string& after) {
    return before == after ? "unchanged" : before.empty() ? "create" : "replace";
}

} // namespace

// One file the plan writes, or keeps on purpose, and what became of it.
struct TargetEntry {
    const Step* step = nullptr; // into the plan of the run
    std::wstring path;
    std::wstring source;
    bool fromBackup = false;
    bool remove = false;
    bool reached = false;
    bool kept = false; // a program LicenseFile holds no newer revision of: left as it is
    std::string before;
    std::string written; // what the step left; after a rollback, after is what stands
    std::string after;
    std::wstring failure;
    bool rolledBack = false;
    std::wstring profile;
};

struct RunRecord::State {
    FileHasher hash;
    Json document;
    Json facts = Json::object();
    std::map<std::wstring, PemFacts> pem;
    std::set<std::wstring> current; // files that hold their bytes already
    std::vector<TargetEntry> targets;
    Json stopped = Json::array();
    Json started = Json::array();
    std::vector<ProfileFacts> profiles;
    std::map<std::wstring, std::wstring> leftOut; // profile folder -> why
    std::wstring backupSet;
    std::wstring boxText;
    std::wstring boxCaption;
    std::wstring refusal; // the plan's own refusal
    Json refusedCheck;    // the check that failed before the stop
    std::wstring firstFailure;
    std::wstring failedTarget;

    TargetEntry* Find(const Step& step) {
        for (TargetEntry& target : targets) {
            if (target.step == &step) {
                return &target;
            }
        }
        return nullptr;
    }

    Json PemOf(const std::wstring& path) const {
        const auto found = pem.find(path);
        return found == pem.end() ? Json() : PemJson(found->second);
    }

    Json TargetJson(const TargetEntry& target) const {
        const char* action = target.kept                     ? "unchanged"
                             : target.remove                 ? "remove"
                             : !target.failure.empty()       ? "failed"
                             : leftOut.count(target.profile) ? "left out"
                             : !target.reached               ? "not reached"
                             : target.fromBackup             ? "restore"
                                                 : CopyAction(target.before, target.written);
        Json entry = {{"path", Text(target.path)},
                      {"source", TextOrNull(target.source)},
                      {"action", action},
                      {"sha256Before", HashOrNull(target.before)},
                      {"sha256After", HashOrNull(target.after)}};
        // A restore's files are named by the manifest, not read as PEM.
        const bool read = !target.fromBackup && !target.remove;
        entry["pemBefore"] = read ? PemOf(target.path) : Json();
        entry["pemAfter"] = read ? PemOf(target.kept ? target.path : target.source) : Json();
        entry["failure"] = TextOrNull(target.failure);
        entry["rolledBack"] = target.rolledBack;
        return entry;
    }

    Json ProfilesJson() const {
        Json list = Json::array();
        for (const ProfileFacts& profile : profiles) {
            const auto out = leftOut.find(profile.folder);
            const bool left = out != leftOut.end();
            list.push_back({{"sid", Text(profile.sid)},
                            {"account", Text(profile.account)},
                            {"folder", Text(profile.folder)},
                            {"appData", TextOrNull(profile.appData)},
                            {"verdict", left ? "left out" : VerdictName(profile.verdict)},
                            {"reason", TextOrNull(left ? out->second : profile.reason)},
                            {"catalogueInstall", TextOrNull(profile.catalogueInstall)},
                            {"catalogueTaken", profile.catalogueTaken},
                            {"catalogueReason", TextOrNull(profile.catalogueReason)}});
        }
        return list;
    }
};

RunRecord::RunRecord(const RecordStart& start, FileHasher hash)
    : state_(std::make_unique<State>()) {
    state_->hash = std::move(hash);
    state_->document = {
        {"schema", kRecordSchema},
        {"tool", "Quillmend"},
        {"version", Text(start.version)},
        {"mode", Text(start.mode)},
        {"options",
         {{"arguments", Texts(start.arguments)},
          {"allUsers", start.allUsers},
          {"boxes", start.boxes}}},
        {"account",
         {{"name", Text(start.account)}, {"system", start.system}, {"elevated", start.elevated}}},
        {"machine", Text(start.machine)},
        {"start", Text(FormatIsoUtc(start.start))}};
}

RunRecord::~RunRecord() = default;

void RunRecord::Read(const Facts& facts) {
    Json installs = Json::array();
    Json failures = Json::array();
    for (const Lookup& lookup : facts.lookups) {
        if (!lookup.failure.empty()) {
            failures.push_back({{"lookup", Text(lookup.name)}, {"failure", Text(lookup.failure)}});
        }
        for (const InstallSource& found : lookup.found) {
            installs.push_back({{"lookup", Text(lookup.name)},
                                {"appPath", Text(found.appPath)},
                                {"where", Text(found.where)}});
        }
    }
    state_->facts["installs"] = installs;
    state_->facts["lookupFailures"] = failures;
    state_->facts["keyPair"] = KeyPairName(facts.keyPair);
    Json empty = Json::array();
    for (const std::wstring& path : facts.emptyFiles) {
        empty.push_back(Text(path));
    }
    state_->facts["emptyFiles"] = empty;
    state_->pem = facts.pem;
    state_->current = facts.current;
    state_->profiles = facts.profiles;
}

void RunRecord::ReadRestore(const RestoreFacts& facts) {
    state_->facts["restoreSet"] = TextOrNull(facts.setName);
}

void RunRecord::Foresaw(const Plan& plan, const Facts& facts, const Foreseen& foreseen) {
    State& state = *state_;
    Planned(plan);
    state.leftOut = foreseen.leftOut;
    for (const Foretold& one : Foretell(plan, facts)) {
        switch (one.kind) {
        case Foretold::Kind::End:
            state.stopped.push_back({{"image", Text(one.step->image)},
                                     {"processId", one.process.processId},
                                     {"path", TextOrNull(one.process.imagePath)},
                                     {"rights", TextOrNull(one.process.rights)},
                                     {"result", "would be ended"},
                                     {"code", nullptr}});
            break;
        case Foretold::Kind::Start:
            state.started.push_back({{"path", Text(one.path)},
                                     {"parameters", Text(one.step->parameters)},
                                     {"result", "would be started"},
                                     {"codes", Json::array()}});
            break;
        case Foretold::Kind::Copy:
        case Foretold::Kind::Remove:
            if (TargetEntry* target = state.Find(*one.step)) {
                // What the file is now, and what the copy would make of it.
                target->reached = true;
                target->before = state.hash(target->path);
                target->after = target->remove ? std::string() : state.hash(target->source);
                target->written = target->after;
            }
            break;
        case Foretold::Kind::NotRunning:
        case Foretold::Kind::Note:
            break;
        }
    }
}

void RunRecord::KeptSet(const std::wstring& folder) {
    state_->backupSet = folder;
}

void RunRecord::Planned(const Plan& plan) {
    State& state = *state_;
    state.refusal = plan.refusal;
    state.targets.clear();
    for (const Step& step : plan.steps) {
        const bool kept = step.kind == StepKind::Note && step.note == NoteKind::NotNewer;
        if (step.kind != StepKind::Copy && step.kind != StepKind::Remove && !kept) {
            continue;
        }
        TargetEntry target;
        target.step = &step;
        target.path = step.target;
        target.source = kept ? std::wstring() : step.source;
        target.fromBackup = step.fromBackup;
        target.remove = step.kind == StepKind::Remove;
        target.kept = kept;
        target.profile = step.profile;
        state.targets.push_back(std::move(target));
    }
    // A plan with nothing to do has no steps; the files it found current are still what the
    // machine holds.
    if (plan.alreadyCurrent) {
        for (const std::wstring& path : state.current) {
            TargetEntry target;
            target.path = path;
            target.kept = true;
            state.targets.push_back(std::move(target));
        }
    }
}

void RunRecord::Refused(const PlannedCheck& check, unsigned long error) {
    state_->refusedCheck = {{"check", CheckName(check.kind)},
                            {"path", Text(check.path)},
                            {"code", static_cast<long long>(static_cast<int32_t>(error))}};
}

void RunRecord::Begins(const Step& step) {
    if (TargetEntry* target = state_->Find(step)) {
        target->reached = true;
        target->before = state_->hash(target->path);
    }
}

void RunRecord::Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) {
    for (const StoppedProcess& process : stopped) {
        Json entry = {{"image", Text(step.image)},
                      {"processId", process.processId},
                      {"path", TextOrNull(process.imagePath)},
                      {"rights", TextOrNull(process.rights)},
                      {"result", StopResult(process)},
                      {"code", process.endError}};
        // One ended by its stop and still there when the ends were awaited keeps one entry.
        Json& all = state_->stopped;
        const auto same = std::find_if(all.begin(), all.end(), [&entry](const Json& known) {
            return known["image"] == entry["image"] && known["processId"] == entry["processId"] &&
                   known["result"] == "ended";
        });
        if (same != all.end()) {
            *same = std::move(entry);
        } else {
            all.push_back(std::move(entry));
        }
    }
}

void RunRecord::Started(const std::wstring& imagePath, const std::wstring& parameters,
                        const StartResult& result) {
    Json codes = Json::array();
    if (!result.started) {
        codes.push_back(result.errorCode);
        for (const long code : result.furtherErrorCodes) {
            codes.push_back(code);
        }
    }
    state_->started.push_back({{"path", Text(imagePath)},
                               {"parameters", Text(parameters)},
                               {"result", result.started ? "started" : "not started"},
                               {"codes", codes}});
}

void RunRecord::Ends(const Step& step, const std::wstring* failure) {
    State& state = *state_;
    if (failure && state.firstFailure.empty()) {
        state.firstFailure = *failure;
        state.failedTarget =
            step.kind == StepKind::Copy || step.kind == StepKind::Remove ? step.target : step.image;
    }
    if (TargetEntry* target = state.Find(step)) {
        target->after = state.hash(target->path);
        target->written = target->after;
        if (failure) {
            target->failure = *failure;
        }
    }
}

void RunRecord::RolledBack(const RollbackReport& report) {
    for (const RollbackStep& step : report.steps) {
        for (TargetEntry& target : state_->targets) {
            if (target.path == step.path && step.action != RollbackStep::Action::Failed) {
                target.rolledBack = true;
                target.after = state_->hash(target.path);
            }
        }
    }
    if (!report.setFolder.empty()) {
        state_->backupSet = report.setFolder;
    }
}

void RunRecord::LeftOut(const std::wstring& profile, const std::wstring& why) {
    state_->leftOut[profile] = why;
}

void RunRecord::Shown(const std::wstring& text, const std::wstring& caption) {
    state_->boxText = text;
    state_->boxCaption = caption;
}

std::string RunRecord::Finish(const UtcTime& end, int exitCode) {
    State& state = *state_;
    Json& document = state.document;
    document["end"] = Text(FormatIsoUtc(end));
    document["exitCode"] = exitCode;
    document["box"] = state.boxCaption.empty() ? Json()
                                               : Json{{"caption", Text(state.boxCaption)},
                                                      {"text", Text(state.boxText)}};
    for (const auto& [key, value] : state.facts.items()) {
        document[key] = value;
    }
    Json targets = Json::array();
    for (TargetEntry& target : state.targets) {
        // A file no step reached is as the run found it.
        if (!target.reached) {
            target.before = state.hash(target.path);
            target.after = target.before;
        }
        targets.push_back(state.TargetJson(target));
    }
    document["targets"] = targets;
    document["stopped"] = state.stopped;
    document["started"] = state.started;
    document["profiles"] = state.ProfilesJson();
    document["backupSet"] = TextOrNull(state.backupSet);

    const std::wstring message = state.boxCaption == kErrorCaption ? state.boxText : std::wstring();
    Json refusal;
    Json failure;
    if (!state.refusal.empty() || !state.refusedCheck.is_null()) {
        refusal = {{"message", Text(state.refusal.empty() ? message : state.refusal)},
                   {"code", ErrcodeOf(state.refusal.empty() ? message : state.refusal)}};
        if (!state.refusedCheck.is_null()) {
            refusal.update(state.refusedCheck);
        }
    } else if (!state.firstFailure.empty() || !message.empty()) {
        const std::wstring& text = message.empty() ? state.firstFailure : message;
        failure = {{"message", Text(text)},
                   {"code", ErrcodeOf(text)},
                   {"at", TextOrNull(state.failedTarget)}};
    }
    document["refusal"] = refusal;
    document["failure"] = failure;
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace qm
