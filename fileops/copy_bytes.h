#pragma once
// Moving bytes between open files, for every copy the program makes: a write that stops short
// (the volume filling up) is a failure that names the reason, never a success.
#include <windows.h>

#include <functional>

namespace qm {

// 0 when all of data is written, else the Windows error code (ERROR_DISK_FULL for a write that
// stopped short without one).
DWORD WriteAllBytes(HANDLE file, const char* data, DWORD size);

// Every byte of from, to its end, into to; each chunk read is also handed to seen (for a
// digest) when it is set. 0, or the code of the step that failed; readFailed says whether that
// step was reading from.
DWORD CopyAllBytes(HANDLE from, HANDLE to, bool& readFailed,
                   const std::function<void(const char*, DWORD)>& seen = {});

} // namespace qm
