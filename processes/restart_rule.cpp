// The restart decision: how each stopped program may be started again.
#include "processes/restart_rule.h"

namespace qm {

namespace {

constexpr uint32_t kFirstCodeAboveShellAnswers = 32;
constexpr long kShellBadFormat = 11;

bool CanStartAs(const RestartParent& parent, const ProcessRights& recorded) {
    return parent.opened && parent.alive && parent.rights.known &&
           SameRights(parent.rights, recorded);
}

// The elevation types in order of what they give: a limited token below a token without a
// linked half, below a full one.
int ElevationRank(const ProcessRights& rights) {
    if (rights.elevated || rights.elevationType == ElevationType::Full) {
        return 2;
    }
    return rights.elevationType == ElevationType::Limited ? 0 : 1;
}

const wchar_t* ElevationName(ElevationType type) {
    switch (type) {
    case ElevationType::Full:
        return L"full";
    case ElevationType::Limited:
        return L"limited";
    case ElevationType::Default:
        break;
    }
    return L"default";
}

std::wstring IntegrityName(uint32_t integrity) {
    if (integrity >= kIntegritySystem) {
        return L"System";
    }
    if (integrity >= kIntegrityHigh) {
        return L"High";
    }
    if (integrity >= kIntegrityMedium) {
        return L"Medium";
    }
    if (integrity >= kIntegrityLow) {
        return L"Low";
    }
    return L"Untrusted";
}

} // namespace

bool RanElevated(const ProcessRights& rights) {
    return rights.known && (rights.elevated || rights.elevationType == ElevationType::Full ||
                            rights.integrity >= kIntegritySystem);
}

bool SameRights(const ProcessRights& candidate, const ProcessRights& recorded) {
    return candidate.known && recorded.known && candidate.userSid == recorded.userSid &&
           candidate.session == recorded.session &&
           ElevationRank(candidate) == ElevationRank(recorded) &&
           candidate.integrity == recorded.integrity;
}

bool NoHigherRights(const ProcessRights& started, const ProcessRights& recorded) {
    return started.known && recorded.known && started.userSid == recorded.userSid &&
           started.session == recorded.session &&
           ElevationRank(started) <= ElevationRank(recorded) &&
           started.integrity <= recorded.integrity;
}

RestartRoute DecideRestart(const ProcessRights& recorded, const RestartParent& originalParent,
                           const RestartParent& sessionProcess) {
    if (!recorded.known) {
        return RestartRoute::NotStarted;
    }
    if (RanElevated(recorded)) {
        return RestartRoute::FromTool;
    }
    if (originalParent.createdBefore && CanStartAs(originalParent, recorded)) {
        return RestartRoute::OriginalParent;
    }
    if (CanStartAs(sessionProcess, recorded)) {
        return RestartRoute::SessionProcess;
    }
    return RestartRoute::NotStarted;
}

std::wstring ToolCommandLine(const std::wstring& imagePath, const std::wstring& parameters) {
    std::wstring commandLine = L"\"" + imagePath + L"\"";
    if (!parameters.empty()) {
        commandLine += L" " + parameters;
    }
    return commandLine;
}

long ShellStyleStartError(uint32_t error) {
    return error < kFirstCodeAboveShellAnswers ? static_cast<long>(error) : kShellBadFormat;
}

std::wstring DescribeRights(const ProcessRights& rights) {
    if (!rights.known) {
        return L"rights unknown";
    }
    return L"user " + rights.userSid + L", elevation " + ElevationName(rights.elevationType) +
           L", integrity " + IntegrityName(rights.integrity) + L", session " +
           std::to_wstring(rights.session);
}

} // namespace qm
