#pragma once
// Decisions of the catalogue lookup that need no Windows API.
#include <cstddef>
#include <string>

namespace qm {

// The component name is the "ref" value cut before its first ";". A value without ";" names
// no component at all (empty), not the whole value.
std::wstring CatalogueComponentName(const std::wstring& refValue);

// catalogueFolder + "\" + component + "\components.xml", joined as plain text: an empty or
// backslash-ended component gives two backslashes in a row, which the file system reads as one.
std::wstring ComponentsFilePath(const std::wstring& catalogueFolder, const std::wstring& component);

// The catalogue folder lives in a buffer of 260 units, terminator included.
constexpr std::size_t kCatalogueFolderCapacity = 260;
bool CatalogueFolderFits(const std::wstring& catalogueFolder);

} // namespace qm
