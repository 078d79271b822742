#pragma once
// Who runs the program, on what, and which program it is: for the log's first line and the
// run's record.
#include <string>

namespace qm {

struct RunIdentity {
    std::wstring version = L"unknown"; // the program's file version, a.b.c.d
    std::wstring machine = L"unknown"; // the computer's NetBIOS name
    std::wstring account = L"unknown"; // DOMAIN\name of the process's user
    bool elevated = false;
};

RunIdentity ReadRunIdentity();

} // namespace qm
