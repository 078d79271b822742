// The payload's refusals, in the order an administrator would mend them.
#include "run/payload_checks.h"

#include "platform/box_texts.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "run/run_plan.h"

#include <vector>

namespace qm {

namespace {

const PemFacts* CertificateAt(const Facts& facts, const std::wstring& path) {
    const auto found = facts.pem.find(path);
    return found != facts.pem.end() && found->second.kind == PemKind::Certificate ? &found->second
                                                                                  : nullptr;
}

} // namespace

std::wstring PayloadRefusal(const Facts& facts, const Plan& plan, bool allowOlder) {
    std::vector<const Step*> copies;
    for (const Step& step : plan.steps) {
        if (step.kind == StepKind::Copy && !step.fromBackup) {
            copies.push_back(&step);
        }
    }
    const std::wstring key = JoinPath(facts.licenseFolder, kKeyFile);
    const std::wstring certificate = JoinPath(facts.licenseFolder, kCertificateFile);
    bool deploysPair = false;
    for (const Step* copy : copies) {
        if (facts.emptyFiles.count(copy->source) != 0) {
            return FormatUserMessage(kEmptyPayload, {copy->source});
        }
        deploysPair = deploysPair || copy->source == key || copy->source == certificate;
    }
    if (deploysPair && facts.keyPair == KeyPairVerdict::Mismatch) {
        return FormatUserMessage(kKeyNotCertificates, {key, certificate});
    }
    for (const Step* copy : copies) {
        const PemFacts* source = CertificateAt(facts, copy->source);
        if (source && facts.now < source->notBefore) {
            return FormatUserMessage(kCertificateNotYetValid,
                                     {copy->source, UtcDate(source->notBefore)});
        }
        if (source && facts.now > source->notAfter) {
            return FormatUserMessage(kCertificateExpired,
                                     {copy->source, UtcDate(source->notAfter)});
        }
    }
    for (const Step* copy : copies) {
        const PemFacts* source = CertificateAt(facts, copy->source);
        const PemFacts* replaced = CertificateAt(facts, copy->target);
        if (source && replaced && replaced->notAfter > source->notAfter && !allowOlder) {
            return FormatUserMessage(kCertificateOlder,
                                     {copy->source, UtcDate(source->notAfter), copy->target,
                                      UtcDate(replaced->notAfter)});
        }
    }
    return std::wstring();
}

} // namespace qm
