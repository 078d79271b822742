// The preview's foresight and its box.
#include "run/preview.h"

#include "run/kept_programs.h"
#include "platform/box_texts.h"
#include "platform/codepage.h"
#include "platform/paths.h"

#include <exception>

namespace qm {

namespace {

// Why each profile would be left out, as the checks tell it.
class LeftOutReasons : public Observer {
public:
    explicit LeftOutReasons(std::map<std::wstring, std::wstring>& reasons) : reasons_(reasons) {}
    void LeftOut(const std::wstring& profile, const std::wstring& why) override {
        reasons_.emplace(profile, why);
    }

private:
    std::map<std::wstring, std::wstring>& reasons_;
};

Foretold One(Foretold::Kind kind, const Step& step) {
    Foretold one;
    one.kind = kind;
    one.step = &step;
    return one;
}

// What a copy of a TLS file changes: each certificate by its subject, expiry and fingerprint, a
// key by its kind.
std::wstring CertificateChange(const Facts& facts, const Step& step) {
    const auto describe = [&facts](const std::wstring& path) -> std::wstring {
        const auto found = facts.pem.find(path);
        if (found == facts.pem.end()) {
            return L"?";
        }
        const PemFacts& pem = found->second;
        if (pem.kind != PemKind::Certificate) {
            return std::wstring(L"私钥 ") + PemKindName(pem.kind);
        }
        return pem.subject + L", 有效期至 " + UtcDate(pem.notAfter) + L", SHA-256 " +
               ToWide(pem.fingerprint);
    };
    if (facts.pem.count(step.source) == 0) {
        return std::wstring();
    }
    std::wstring text = L"; 新: " + describe(step.source);
    if (facts.pem.count(step.target) != 0) {
        text += L"; 原: " + describe(step.target);
    }
    return text;
}

} // namespace

Foreseen Foresee(const Plan& plan, Files& files, Journal& journal, Observer& observer) {
    if (!plan.refusal.empty()) {
        return {plan.refusal, kErrorCaption, RunResult::Failed, {}};
    }
    std::map<std::wstring, std::wstring> reasons;
    LeftOutReasons collected(reasons);
    Observers observers;
    observers.Add(observer);
    observers.Add(collected);
    try {
        CheckPlan(plan, files, journal, observers);
    } catch (const std::exception& error) {
        return {MessageOf(error), kErrorCaption, RunResult::Failed, {}};
    }
    const bool leftOutNow = plan.finishResult == RunResult::Finished && !reasons.empty();
    return {plan.finishText, plan.finishCaption,
            leftOutNow ? RunResult::LeftOut : plan.finishResult, std::move(reasons)};
}

std::vector<Foretold> Foretell(const Plan& plan, const Facts& facts) {
    std::vector<Foretold> foretold;
    KeptPrograms kept;
    for (const Step& step : plan.steps) {
        switch (step.kind) {
        case StepKind::Stop: {
            if (!kept.Stops(step)) {
                break;
            }
            const auto running = facts.running.find(step.image);
            if (running == facts.running.end() || running->second.empty()) {
                foretold.push_back(One(Foretold::Kind::NotRunning, step));
                break;
            }
            kept.Keep(step.image, running->second);
            for (const StoppedProcess& process : running->second) {
                foretold.push_back(One(Foretold::Kind::End, step));
                foretold.back().process = process;
            }
            break;
        }
        case StepKind::Copy:
            foretold.push_back(One(Foretold::Kind::Copy, step));
            break;
        case StepKind::Remove:
            foretold.push_back(One(Foretold::Kind::Remove, step));
            break;
        case StepKind::Note:
            foretold.push_back(One(Foretold::Kind::Note, step));
            break;
        case StepKind::Restart:
            for (const std::wstring& path : kept.ToStart(step.image)) {
                foretold.push_back(One(Foretold::Kind::Start, step));
                foretold.back().path = path;
            }
            break;
        case StepKind::RequireEnded:
        case StepKind::Wait:
        case StepKind::Stage:
            break;
        }
    }
    return foretold;
}

std::vector<std::wstring> PreviewLines(const Plan& plan, const Facts& facts,
                                       const Foreseen& foreseen) {
    std::vector<std::wstring> lines;
    for (const Lookup& lookup : facts.lookups) {
        for (const InstallSource& source : lookup.found) {
            lines.push_back(L"找到安装 " + source.appPath + L" (" + source.where + L")");
        }
    }
    for (const ProfileFacts& profile : facts.profiles) {
        if (profile.verdict == ProfileFacts::Verdict::NotCounted) {
            continue;
        }
        std::wstring line =
            L"用户 " + profile.sid + L" (" + profile.account + L") " + profile.folder;
        const auto leftOut = foreseen.leftOut.find(profile.folder);
        if (profile.verdict != ProfileFacts::Verdict::Served) {
            line += L": 跳过, " + profile.reason;
        } else if (leftOut != foreseen.leftOut.end()) {
            line += L": 为安全起见跳过, 其余照常: " + leftOut->second;
        } else {
            line += L": 更新用户目录";
        }
        lines.push_back(line);
        if (!profile.catalogueReason.empty()) {
            lines.push_back(L"用户 " + profile.sid + L" 的安装目录被跳过: " +
                            profile.catalogueReason);
        }
    }
    if (plan.alreadyCurrent) {
        lines.push_back(L"所有文件已是最新: 不结束、不复制、不启动任何程序");
    }
    for (const Foretold& one : Foretell(plan, facts)) {
        const Step& step = *one.step;
        switch (one.kind) {
        case Foretold::Kind::End:
            lines.push_back(L"结束 " + step.image + L" (进程 " +
                            std::to_wstring(one.process.processId) + L", " + one.process.imagePath +
                            L")");
            break;
        case Foretold::Kind::Copy: {
            if (foreseen.leftOut.count(step.profile) != 0) {
                break;
            }
            const std::wstring name = step.source.substr(step.source.find_last_of(L'\\') + 1);
            std::wstring line = L"复制 LicenseFile\\" + name + L" 到 " + step.target +
                                (facts.present.count(step.target) ? L" (替换)" : L" (新建)");
            if (facts.licenseFiles.count(name) == 0) {
                line += L", 但 LicenseFile 中没有此文件: 运行将在此失败";
            }
            line += CertificateChange(facts, step);
            lines.push_back(line);
            break;
        }
        case Foretold::Kind::Note:
            if (step.note == NoteKind::Newer) {
                const size_t slash = step.target.find_last_of(L'\\');
                lines.push_back(L"以 LicenseFile 中更新的 " + step.target.substr(slash + 1) +
                                L" 替换 " + ParentFolder(step.target));
            }
            break;
        case Foretold::Kind::Start:
            lines.push_back(L"重新启动 \"" + one.path + L"\"" + step.parameters);
            break;
        case Foretold::Kind::NotRunning:
        case Foretold::Kind::Remove:
            break;
        }
    }
    return lines;
}

std::wstring PreviewText(const std::vector<std::wstring>& lines, const Foreseen& foreseen) {
    std::wstring text = L"预览: 未做任何修改。实际运行将会:\n";
    if (lines.empty()) {
        text += L"(无事可做)\n";
    }
    for (const std::wstring& line : lines) {
        text += L"- " + line + L"\n";
    }
    return text + L"\n" + PreviewVerdict(foreseen);
}

RunResult CheckVerdict(const Facts& facts, const Plan& plan, const Foreseen& foreseen) {
    if (!plan.refusal.empty() || foreseen.result == RunResult::Failed) {
        return RunResult::Failed;
    }
    if (!IsAnyInstallFound(facts)) {
        return RunResult::NothingFound;
    }
    if (!plan.alreadyCurrent) {
        return RunResult::NotCurrent;
    }
    return foreseen.result == RunResult::LeftOut || IsAnythingLeftOut(facts) ? RunResult::LeftOut
                                                                             : RunResult::Finished;
}

std::wstring CheckVerdictText(RunResult verdict, const Foreseen& foreseen) {
    switch (verdict) {
    case RunResult::Finished:
        return kCheckCurrent;
    case RunResult::NotCurrent:
        return kCheckNotCurrent;
    case RunResult::NothingFound:
        return kCheckNothingFound;
    case RunResult::LeftOut:
        return kCheckLeftOut;
    default:
        return kCheckRefused + foreseen.text;
    }
}

std::wstring PreviewVerdict(const Foreseen& foreseen) {
    return L"实际运行的结果: " + foreseen.caption + L": " + foreseen.text;
}

} // namespace qm
