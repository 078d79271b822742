// Finds the current suite's install folder through the installer's catalogue under the
// roaming application-data folder.
#include "discovery/catalogue_lookup.h"
#include "discovery/catalogue_rules.h"
#include "platform/codepage.h"
#include "xml/xml_file_query.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

namespace qm {

namespace {

constexpr HWND kNoOwner = nullptr;
constexpr BOOL kDoNotCreate = FALSE;

// What PathFileExistsW answers (any existing file system object), without importing
// shlwapi.dll: the fewer DLLs an elevated program pulls in, the fewer can be planted.
bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The narrow path handed to the XML library; a path the code page cannot carry at all is
// reported the way the library reports a file it cannot open.
std::string NarrowComponentsPath(const std::wstring& path) {
    std::string narrow;
    if (!WideToNarrow(path, narrow) || narrow.empty()) {
        std::string shown;
        for (const wchar_t ch : path) {
            shown.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
        }
        throw std::runtime_error("cannot open file " + shown);
    }
    return narrow;
}

} // namespace

bool GetCatalogueAppPath(std::wstring& output, std::wstring* componentsFileRead) {
    wchar_t appData[kCatalogueFolderCapacity] = {};
    // A failed or empty folder query is treated like a missing catalogue: never read a path
    // built on an undefined folder.
    if (!SHGetSpecialFolderPathW(kNoOwner, appData, CSIDL_APPDATA, kDoNotCreate) ||
        appData[0] == L'\0') {
        return false;
    }
    return GetCatalogueAppPathIn(appData, output, componentsFileRead);
}

bool GetCatalogueAppPathIn(const std::wstring& appData, std::wstring& output,
                           std::wstring* componentsFileRead) {
    if (appData.empty()) {
        return false;
    }
    const std::wstring catalogueFolder = appData + L"\\MWInstall\\App";
    if (!CatalogueFolderFits(catalogueFolder)) {
        return false;
    }

    const std::wstring commonRef = catalogueFolder + L"\\common_ref.xml";
    if (!PathExists(commonRef)) {
        return false;
    }
    const std::wstring refValue = QueryXmlFileValue(commonRef, L"ref/Component", L"ref");
    if (refValue.empty()) {
        return false;
    }

    const std::wstring componentsFile =
        ComponentsFilePath(catalogueFolder, CatalogueComponentName(refValue));
    if (!PathExists(componentsFile)) {
        return false;
    }
    if (componentsFileRead) {
        *componentsFileRead = componentsFile;
    }
    output = ReadComponentsAppPath(NarrowComponentsPath(componentsFile).c_str());
    return !output.empty();
}

} // namespace qm
