// Moving bytes between open files.
#include "fileops/copy_bytes.h"

#include <vector>

namespace qm {

namespace {
constexpr DWORD kChunk = 64 * 1024;
constexpr LPOVERLAPPED kNotOverlapped = nullptr;
} // namespace

DWORD WriteAllBytes(HANDLE file, const char* data, DWORD size) {
    for (DWORD done = 0; done < size;) {
        DWORD written = 0;
        if (!WriteFile(file, data + done, size - done, &written, kNotOverlapped)) {
            return GetLastError();
        }
        if (written == 0) {
            return ERROR_DISK_FULL;
        }
        done += written;
    }
    return ERROR_SUCCESS;
}

DWORD CopyAllBytes(HANDLE from, HANDLE to, bool& readFailed,
                   const std::function<void(const char*, DWORD)>& seen) {
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD read = 0;
        readFailed = true;
        if (!ReadFile(from, buffer.data(), kChunk, &read, kNotOverlapped)) {
            return GetLastError();
        }
        readFailed = false;
        if (read == 0) {
            return ERROR_SUCCESS;
        }
        if (const DWORD error = WriteAllBytes(to, buffer.data(), read); error != ERROR_SUCCESS) {
            return error;
        }
        if (seen) {
            seen(buffer.data(), read);
        }
    }
}

} // namespace qm
