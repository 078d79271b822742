// The manifest's write, here or on a thread of its own, finished before anything relies on it.
#include "backup/manifest_writer.h"

#include "backup/backup_files.h"
#include "platform/user_error.h"

#include <windows.h>

namespace qm {

namespace {

constexpr LPSECURITY_ATTRIBUTES kDefaultSecurity = nullptr;
constexpr SIZE_T kDefaultStack = 0;
constexpr DWORD kRunAtOnce = 0;
constexpr LPDWORD kNoThreadId = nullptr;

} // namespace

ManifestWriter::ManifestWriter(const std::wstring& setFolder, std::string text)
    : work_(std::make_unique<Work>()) {
    work_->setFolder = setFolder;
    work_->text = std::move(text);
}

ManifestWriter::~ManifestWriter() {
    Complete();
}

void ManifestWriter::Start() {
    if (started_) {
        return;
    }
    started_ = true;
    thread_.reset(CreateThread(kDefaultSecurity, kDefaultStack, &Write, work_.get(), kRunAtOnce,
                               kNoThreadId));
    if (!thread_) {
        Write(work_.get());
    }
}

DWORD WINAPI ManifestWriter::Write(void* work) {
    Work& job = *static_cast<Work*>(work);
    // Nothing may leave a thread's first function: what went wrong is kept for Finish.
    try {
        WriteManifestFile(job.setFolder, job.text);
    } catch (const std::exception& error) {
        job.failed = true;
        job.failure = MessageOf(error);
    }
    return 0;
}

void ManifestWriter::Complete() {
    // Nobody to overlap: written here, without a thread's start.
    if (!started_) {
        started_ = true;
        Write(work_.get());
    }
    if (thread_) {
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
}

void ManifestWriter::Finish() {
    Complete();
    if (work_->failed) {
        work_->failed = false;
        throw UserError(work_->failure);
    }
}

} // namespace qm
