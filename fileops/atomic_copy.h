#pragma once
// A copy that never leaves a half-written target: the bytes go into a new file beside the
// target first, which then takes the target's place in one step. A failure at any point leaves
// the old file as it was. The replaced file keeps its own security and attributes.
#include "fileops/deploy_targets.h"

#include <windows.h>

#include <memory>
#include <string>

namespace qm {

// 0 when target now holds source's bytes (and is not read-only), else the Windows error code
// of the step that failed. A target that a copy in place could not overwrite (read-only on
// Windows, held open by another program) fails with the code that copy would have given; a
// target, or a folder between linkRoot and it, that is a link fails with 4395 (an empty linkRoot
// looks at the target alone). The new file beside it has a name nobody can know beforehand,
// and the target's folder is held open (it cannot be swapped for a link) until done.
DWORD CopyFileAtomically(const std::wstring& source, const std::wstring& target,
                         const std::wstring& linkRoot,
                         MissingTarget missing = MissingTarget::Create);

// A small source read whole once, for the many targets it goes to: its bytes and its time of
// last change, which every copy takes as a copy from the file would.
struct HeldSource {
    std::string bytes;
    FILETIME written{};
};

// False (nothing held) for a source larger than 1 MiB or one that cannot be read now; a copy
// from its path then says why.
bool ReadHeldSource(const std::wstring& source, HeldSource& held);

// A copy written ahead of its time: the new file beside the target, filled, held so that
// nobody else can open it, with the target's folder held too. Given to CopyHeldAtomically, only
// the rename is left to do; destroyed unused, the new file is deleted.
struct StagedCopy {
    struct State;
    StagedCopy();
    StagedCopy(StagedCopy&&) noexcept;
    StagedCopy& operator=(StagedCopy&&) noexcept;
    ~StagedCopy();
    explicit operator bool() const { return state != nullptr; }

    std::unique_ptr<State> state;
};

// Empty where the copy cannot be written ahead (a folder still missing, a target held open or
// read-only, a link): the copy then finds out itself, as it always has.
StagedCopy StageHeldCopy(const HeldSource& source, const std::wstring& target,
                         const std::wstring& linkRoot);

// CopyFileAtomically from a source held in memory. A staged copy of the same bytes is put in
// place unless the target has changed its security or attributes since (or come or gone); the
// target's obstacles are looked for again either way, with the same codes.
DWORD CopyHeldAtomically(const HeldSource& source, const std::wstring& target,
                         const std::wstring& linkRoot,
                         MissingTarget missing = MissingTarget::Create,
                         StagedCopy staged = StagedCopy());

// The same for bytes in memory, flushed before they take the target's place: a file that is
// read back whole or not at all (a record, a manifest). 0 or the code.
DWORD WriteFileAtomically(const std::wstring& target, const std::string& bytes,
                          const std::wstring& linkRoot);

} // namespace qm
