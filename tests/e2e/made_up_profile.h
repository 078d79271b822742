#pragma once
// A made-up user profile for runs for all users: a ProfileList entry in the test prefix and its
// profile folder, both removed at the end.
#include <windows.h>

#include <string>

#include "tests/discovery/registry_views.h"
#include "tests/e2e/harness/scenario.h"

namespace qm::e2e {

inline constexpr wchar_t kProfileList[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// A ProfileList entry and its profile folder (with NTUSER.DAT) under the scenario's folder.
class MadeUpProfile {
public:
    MadeUpProfile(const Scenario& scenario, const std::wstring& sid, const std::wstring& name,
                  bool suiteRan, DWORD state = 0)
        : key_(std::wstring(kProfileList) + L"\\" + sid),
          folder_(scenario.root() + L"\\Profiles\\" + name),
          appData_(folder_ + L"\\AppData\\Roaming") {
        qm::test::DeleteTreeInView(key_);
        qm::UniqueRegKey key;
        made_ =
            MakeFolders(appData_) && WriteBytes(folder_ + L"\\NTUSER.DAT", "hive") &&
            (!suiteRan || MakeFolders(appData_ + L"\\Marrowby")) &&
            qm::test::CreateKeyInView(key_, key) == ERROR_SUCCESS &&
            RegSetValueExW(key.get(), L"ProfileImagePath", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(folder_.c_str()),
                           static_cast<DWORD>((folder_.size() + 1) * sizeof(wchar_t))) ==
                ERROR_SUCCESS &&
            RegSetValueExW(key.get(), L"State", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&state),
                           sizeof state) == ERROR_SUCCESS;
    }
    ~MadeUpProfile() { qm::test::DeleteTreeInView(key_); }
    MadeUpProfile(const MadeUpProfile&) = delete;
    MadeUpProfile& operator=(const MadeUpProfile&) = delete;

    bool made() const { return made_; }
    const std::wstring& folder() const { return folder_; }
    const std::wstring& appData() const { return appData_; }
    std::wstring client() const { return appData_ + L"\\Marrowby\\MWClientServer"; }

private:
    std::wstring key_;
    std::wstring folder_;
    std::wstring appData_;
    bool made_ = false;
};

} // namespace qm::e2e
