#pragma once
// A set's manifest, written durably when it is needed, or meanwhile on a thread of its own. Its
// flush is the slowest moment of the save (the disk's latency, and under Wine a stall of every
// process while the server syncs): started at a fixed wait, it overlaps that wait instead of the
// stop, and nothing waits for it until the first file the manifest protects is about to be
// replaced.
#include "platform/win_handles.h"

#include <memory>
#include <string>

namespace qm {

class ManifestWriter {
public:
    // Holds text as setFolder's manifest, to be written by Start or Finish.
    ManifestWriter(const std::wstring& setFolder, std::string text);
    // Writes it if nobody has yet, or waits for the write; a failure nobody asked for is dropped.
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    // Begins the write on a thread of its own (at once where no thread starts); once only.
    void Start();
    // Returns once the manifest is on disk, written here if Start was not called; throws the
    // UserError its write gave.
    void Finish();

private:
    struct Work {
        std::wstring setFolder;
        std::string text;
        bool failed = false;
        std::wstring failure;
    };
    static DWORD WINAPI Write(void* work);
    void Complete(); // written, by Start's thread or here

    std::unique_ptr<Work> work_;
    UniqueThread thread_;
    bool started_ = false;
};

} // namespace qm
