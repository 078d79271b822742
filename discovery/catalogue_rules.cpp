// The catalogue lookup's decisions that need no Windows API.
#include "discovery/catalogue_rules.h"

namespace qm {

std::wstring CatalogueComponentName(const std::wstring& refValue) {
    const auto semicolon = refValue.find(L';');
    return semicolon == std::wstring::npos ? std::wstring() : refValue.substr(0, semicolon);
}

std::wstring ComponentsFilePath(const std::wstring& catalogueFolder,
                                const std::wstring& component) {
    return catalogueFolder + L"\\" + component + L"\\components.xml";
}

bool CatalogueFolderFits(const std::wstring& catalogueFolder) {
    return catalogueFolder.size() < kCatalogueFolderCapacity;
}

} // namespace qm
