#pragma once
// A set's manifest written durably on a thread of its own. Its flush is the slowest moment of
// the save (the disk's latency, and under Wine everything the file system has yet to write);
// on its own thread it overlaps the stop that follows, and nothing waits for it until the
// first file the manifest protects is about to be replaced.
#include "platform/win_handles.h"

#include <memory>
#include <string>

namespace qm {

class ManifestWriter {
public:
    // Starts writing text as setFolder's manifest, flushed; at once where no thread starts.
    ManifestWriter(const std::wstring& setFolder, std::string text);
    // Waits for the write; a failure nobody asked for is dropped.
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    // Returns once the manifest is on disk; throws the UserError its write gave.
    void Finish();

private:
    struct Work {
        std::wstring setFolder;
        std::string text;
        bool failed = false;
        std::wstring failure;
    };
    static DWORD WINAPI Write(void* work);
    void Wait();

    std::unique_ptr<Work> work_;
    UniqueThread thread_;
};

} // namespace qm
