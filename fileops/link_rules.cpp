// Which paths below a trusted folder a write must find free of links.
#include "fileops/link_rules.h"

#include "platform/paths.h"

namespace qm {

namespace {

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) {
            return false;
        }
    }
    return true;
}

// Whether path lies below root (not root itself).
bool IsBelow(const std::wstring& root, const std::wstring& path) {
    std::wstring prefix = CollapseSeparators(root);
    if (prefix.empty()) {
        return false;
    }
    if (prefix.back() != L'\\') {
        prefix.push_back(L'\\');
    }
    const std::wstring full = CollapseSeparators(path);
    return full.size() > prefix.size() && StartsWithIgnoringCase(full, prefix);
}

} // namespace

std::wstring TrustedRootFor(const std::wstring& path, const std::vector<std::wstring>& userRoots) {
    std::wstring deepest;
    for (const std::wstring& root : userRoots) {
        const std::wstring base = CollapseSeparators(root);
        if (IsBelow(base, path) && base.size() > deepest.size()) {
            deepest = base;
        }
    }
    return deepest.empty() ? ParentFolder(ParentFolder(path)) : deepest;
}

bool IsInUserFolder(const std::wstring& path, const std::vector<std::wstring>& userRoots) {
    for (const std::wstring& root : userRoots) {
        if (IsBelow(root, path)) {
            return true;
        }
    }
    return false;
}

std::wstring CollapseSeparators(const std::wstring& path) {
    std::wstring collapsed;
    collapsed.reserve(path.size());
    size_t i = 0;
    // "\\server\share" and "\\?\C:\" keep their two opening backslashes.
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        collapsed = L"\\\\";
        i = 2;
    }
    for (; i < path.size(); ++i) {
        if (path[i] == L'\\' && !collapsed.empty() && collapsed.back() == L'\\' &&
            collapsed.size() > 2) {
            continue;
        }
        collapsed.push_back(path[i]);
    }
    const bool driveRoot = collapsed.size() == 3 && collapsed[1] == L':';
    if (collapsed.size() > 2 && collapsed.back() == L'\\' && !driveRoot) {
        collapsed.pop_back();
    }
    return collapsed;
}

bool IsRootFolder(const std::wstring& root, const std::wstring& folder) {
    const std::wstring base = CollapseSeparators(root);
    const std::wstring full = CollapseSeparators(folder);
    return !base.empty() && base.size() == full.size() && StartsWithIgnoringCase(full, base);
}

std::vector<std::wstring> PathsBelow(const std::wstring& root, const std::wstring& target) {
    const std::wstring full = CollapseSeparators(target);
    // Links at root are the installer's choice like those above it.
    if (IsRootFolder(root, target)) {
        return {};
    }
    if (!IsBelow(root, target)) {
        return {full};
    }
    const std::wstring base = CollapseSeparators(root);
    const size_t below = base.back() == L'\\' ? base.size() : base.size() + 1;
    std::vector<std::wstring> paths;
    for (size_t slash = full.find(L'\\', below); slash != std::wstring::npos;
         slash = full.find(L'\\', slash + 1)) {
        paths.push_back(full.substr(0, slash));
    }
    paths.push_back(full);
    return paths;
}

} // namespace qm
