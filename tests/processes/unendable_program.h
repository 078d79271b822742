#pragma once
// A program started with a process DACL that lets nobody end it, for the stop and whole-run
// tests; the handle kept from its creation (all access) ends it at the end.
#include "platform/win_handles.h"

#include <doctest/doctest.h>

#include <sddl.h>

#include <string>

namespace qm::test {

class UnendableProgram {
public:
    explicit UnendableProgram(const std::wstring& image) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        REQUIRE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;0x101000;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + image + L"\"";
        const BOOL started = CreateProcessW(image.c_str(), &commandLine[0], &attributes, nullptr,
                                            FALSE, 0, nullptr, nullptr, &startup, &info);
        LocalFree(descriptor);
        REQUIRE(started);
        process_.reset(info.hProcess);
        const UniqueHandle<KernelHandleTraits> thread(info.hThread);
    }
    ~UnendableProgram() {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 10000);
    }
    UnendableProgram(const UnendableProgram&) = delete;
    UnendableProgram& operator=(const UnendableProgram&) = delete;
    bool EndsWithin(DWORD milliseconds) const {
        return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
    }

private:
    UniqueProcess process_;
};

} // namespace qm::test
