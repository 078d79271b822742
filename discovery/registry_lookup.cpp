// Finding installs in the Uninstall keys of both registry views.
#include "discovery/registry_lookup.h"

#include "discovery/legacy_key_name.h"
#include "platform/win_handles.h"

#include <vector>

namespace qm {

namespace {

constexpr wchar_t kVendorKey64[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MARROWBY";
constexpr wchar_t kVendorKey32[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MARROWBY";
constexpr wchar_t kUninstallKey64[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstallKey32[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kOldestKey64[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Penloom 8.0";
constexpr wchar_t kOldestKey32[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Penloom 8.0";
constexpr wchar_t kAppPathValue[] = L"App Path";
constexpr wchar_t kSameKey[] = L"";

constexpr DWORD kNoOptions = 0;
constexpr LPDWORD kReserved = nullptr;
constexpr LPWSTR kNoClass = nullptr;
constexpr LPDWORD kNoClassLength = nullptr;
constexpr LPDWORD kTypeNotWanted = nullptr;
constexpr LPDWORD kCountNotWanted = nullptr;
constexpr PFILETIME kTimeNotWanted = nullptr;

constexpr DWORD kNameCapacity = 512;
constexpr size_t kValueBufferUnits = 512;
// Half the buffer is announced, so even data stored without a terminator ends in a zero; data
// above 512 bytes (more than 255 characters with the terminator) makes the query fail.
constexpr DWORD kValueCapacityBytes = 512;

// A top key and the access its sub-keys are opened with. Below a key opened in the 64-bit
// view every child open must name that view as well, or a 32-bit process may be redirected.
struct RegistryView {
    const wchar_t* path;
    REGSAM topAccess;
    REGSAM childAccess;
    const wchar_t* name;
};

constexpr RegistryView View64(const wchar_t* path) {
    return {path, KEY_ALL_ACCESS | KEY_WOW64_64KEY, KEY_READ | KEY_WOW64_64KEY, L"64-bit view"};
}

// The 32-bit view is reached through the WOW6432Node path itself, without a view flag.
constexpr RegistryView View32(const wchar_t* path) {
    return {path, KEY_ALL_ACCESS, KEY_READ, L"32-bit view"};
}

std::wstring Where(const RegistryView& view, const std::wstring& subKey) {
    std::wstring where = L"HKLM\\";
    where += view.path;
    if (!subKey.empty()) {
        where += L"\\" + subKey;
    }
    return where + L", " + view.name;
}

UniqueRegKey OpenKey(HKEY parent, const wchar_t* path, REGSAM access) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, path, kNoOptions, access, &opened) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return UniqueRegKey(opened);
}

// The "App Path" value as text up to its first zero unit, whatever its registry type.
bool ReadAppPath(HKEY key, std::wstring& value) {
    std::vector<wchar_t> buffer(kValueBufferUnits, L'\0');
    DWORD size = kValueCapacityBytes;
    if (RegQueryValueExW(key, kAppPathValue, kReserved, kTypeNotWanted,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    value.assign(buffer.data());
    return true;
}

bool CountSubKeys(HKEY key, DWORD& count) {
    return RegQueryInfoKeyW(key, kNoClass, kNoClassLength, kReserved, &count, kCountNotWanted,
                            kCountNotWanted, kCountNotWanted, kCountNotWanted, kCountNotWanted,
                            kCountNotWanted, kTimeNotWanted) == ERROR_SUCCESS;
}

// Calls visit(top, name) for each sub-key from the highest index down to 0 until it returns
// false. An index whose name cannot be read (too long, or removed meanwhile) is passed over.
template <typename Visit> void VisitSubKeysDescending(HKEY top, Visit visit) {
    DWORD count = 0;
    if (!CountSubKeys(top, count)) {
        return;
    }
    for (DWORD index = count; index-- > 0;) {
        std::vector<wchar_t> name(kNameCapacity, L'\0');
        DWORD nameLength = kNameCapacity;
        FILETIME lastWrite{};
        if (RegEnumKeyExW(top, index, name.data(), &nameLength, kReserved, kNoClass, kNoClassLength,
                          &lastWrite) != ERROR_SUCCESS) {
            continue;
        }
        if (!visit(std::wstring(name.data()))) {
            return;
        }
    }
}

void AppendAppPaths(const RegistryView& view, std::vector<InstallSource>& output) {
    const UniqueRegKey top = OpenKey(HKEY_LOCAL_MACHINE, view.path, view.topAccess);
    if (!top) {
        return;
    }
    VisitSubKeysDescending(top.get(), [&](const std::wstring& name) {
        const UniqueRegKey product = OpenKey(top.get(), name.c_str(), view.childAccess);
        std::wstring value;
        if (product && ReadAppPath(product.get(), value)) {
            output.push_back({value, Where(view, name)});
        }
        return true;
    });
}

// Replaces output with the highest-index matching sub-key's readable "App Path"; leaves it
// alone when the view has none.
void FindLegacyIn(const RegistryView& view, InstallSource& output) {
    const UniqueRegKey top = OpenKey(HKEY_LOCAL_MACHINE, view.path, view.topAccess);
    if (!top) {
        return;
    }
    VisitSubKeysDescending(top.get(), [&](const std::wstring& name) {
        if (!IsLegacyKeyName(name)) {
            return true;
        }
        const UniqueRegKey product = OpenKey(top.get(), name.c_str(), view.childAccess);
        std::wstring value;
        if (!product || !ReadAppPath(product.get(), value)) {
            return true;
        }
        output = {value, Where(view, name)};
        return false;
    });
}

} // namespace

std::vector<InstallSource> ListVendorInstalls() {
    std::vector<InstallSource> installs;
    AppendAppPaths(View64(kVendorKey64), installs);
    AppendAppPaths(View32(kVendorKey32), installs);
    return installs;
}

int CollectVendorAppPaths(std::wstring& output) {
    output.clear();
    for (const InstallSource& install : ListVendorInstalls()) {
        output += install.appPath;
        output += L',';
    }
    return 1;
}

InstallSource FindPenloom9Install() {
    InstallSource found;
    // A hit in the 32-bit view is looked for second and replaces one from the 64-bit view.
    FindLegacyIn(View64(kUninstallKey64), found);
    FindLegacyIn(View32(kUninstallKey32), found);
    return found;
}

int FindLegacyAppPath(std::wstring& output) {
    output = FindPenloom9Install().appPath;
    return 1;
}

std::wstring ReadPenloom8AppPath() {
    return ReadPenloom8Install().appPath;
}

InstallSource ReadPenloom8Install() {
    // A 64-bit key that opens hides the WOW6432Node one, even when its value is unreadable.
    RegistryView view = View64(kOldestKey64);
    UniqueRegKey top = OpenKey(HKEY_LOCAL_MACHINE, view.path, view.topAccess);
    if (!top) {
        view = View32(kOldestKey32);
        top = OpenKey(HKEY_LOCAL_MACHINE, view.path, view.topAccess);
        if (!top) {
            return {};
        }
    }
    const UniqueRegKey reader = OpenKey(top.get(), kSameKey, view.childAccess);
    std::wstring value;
    if (!reader || !ReadAppPath(reader.get(), value)) {
        return {};
    }
    return {value, Where(view, L"")};
}

} // namespace qm
