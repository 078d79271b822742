#include "discovery/catalogue_lookup.h"

namespace qm {

// Stand-in until the catalogue reader lands: no catalogue install is ever reported.
bool GetCatalogueAppPath(std::wstring& output) {
    (void)output;
    return false;
}

std::wstring ReadComponentsAppPath(const char* narrowPath) {
    (void)narrowPath;
    return std::wstring();
}

} // namespace qm
