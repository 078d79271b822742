#pragma once
// The run's machine-readable record: one JSON document per run, preview, check or restore,
// for fleet tools that must not parse the log's prose. An observer of the executor, fed the
// facts as the log is; it decides nothing. No Windows API here: the files' fingerprints come
// from the hasher it is given.
#include "platform/utc_time.h"
#include "run/executor.h"
#include "run/facts.h"
#include "run/plan_restore.h"
#include "run/preview.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm {

// Who ran what, where, and when; read at start-up.
struct RecordStart {
    std::wstring mode; // "run", "preview", "check", "restore" or "restore preview"
    std::vector<std::wstring> arguments; // the command line after the program's name
    bool allUsers = false;               // every profile is served (/allusers, or SYSTEM)
    bool boxes = true;                   // boxes are shown
    std::wstring version;
    std::wstring account; // DOMAIN\name
    bool system = false;  // the account is LocalSystem
    bool elevated = false;
    std::wstring machine;
    UtcTime start;
};

// A file's SHA-256 as lower-case hex; empty when there is no file or it cannot be read.
using FileHasher = std::function<std::string(const std::wstring& path)>;

// The schema's version: a reader refuses a record whose version it does not know.
inline constexpr int kRecordSchema = 1;

class RunRecord : public Observer {
public:
    RunRecord(const RecordStart& start, FileHasher hash);
    ~RunRecord() override;
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // What discovery found: the installs, the profiles and the TLS files' facts.
    void Read(const Facts& facts);
    void ReadRestore(const RestoreFacts& facts);
    // What a preview or a check foresees instead of what the executor does.
    void Foresaw(const Plan& plan, const Facts& facts, const Foreseen& foreseen);
    // The backup set this run kept; empty when none.
    void KeptSet(const std::wstring& folder);

    void Planned(const Plan& plan) override;
    void Refused(const PlannedCheck& check, unsigned long error) override;
    void Begins(const Step& step) override;
    void Stopped(const Step& step, const std::vector<StoppedProcess>& stopped) override;
    void Started(const std::wstring& imagePath, const std::wstring& parameters,
                 const StartResult& result) override;
    void Ends(const Step& step, const std::wstring* failure) override;
    void RolledBack(const RollbackReport& report) override;
    void LeftOut(const std::wstring& profile, const std::wstring& why) override;
    void Shown(const std::wstring& text, const std::wstring& caption) override;

    // The whole document in UTF-8, without a byte-order mark. Targets never reached are
    // fingerprinted now, as they are.
    std::string Finish(const UtcTime& end, int exitCode);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qm
