// Reading a whole file as bytes, leaving it open to other readers and writers.
#include "xml/file_bytes.h"

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <share.h>
#else
#include "platform/codepage.h"
#endif

namespace qm {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueStdFile = std::unique_ptr<std::FILE, FileCloser>;

UniqueStdFile OpenShared(const std::wstring& path) {
#ifdef _WIN32
    // Deny-none: the installer may have the file open for writing meanwhile.
    return UniqueStdFile(_wfsopen(path.c_str(), L"rb", _SH_DENYNO));
#else
    return UniqueStdFile(std::fopen(ToNarrow(path).c_str(), "rb"));
#endif
}

} // namespace

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    UniqueStdFile file = OpenShared(path);
    if (!file) {
        return false;
    }
    char buffer[65536];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (got < sizeof buffer) {
            break;
        }
    }
    return true;
}

} // namespace qm
