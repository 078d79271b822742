#pragma once
// What a run reads of the machine before it acts, once: where the suite is installed and where
// each install was registered, the versions and folders its decisions ask about, which of the
// files it may write are there, and, for a preview, what runs. The plan is a pure function of
// these facts (plan.h); edges/machine_facts.h reads them. No Windows API here.
#include "discovery/install_source.h"
#include "processes/stopped_process.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qm {

// One of discovery's lookups and the installs it found, in the order found.
struct Lookup {
    std::wstring name; // for the log: "installer catalogue", "vendor Uninstall keys", ...
    std::vector<InstallSource> found;
    std::wstring failure; // why it could not be made; empty when it was
};

struct Facts {
    // The lookups in the order made. Reading stops at the first fact that ends the run.
    std::vector<Lookup> lookups;
    std::wstring cataloguePath;
    std::vector<std::wstring> vendorFolders;
    std::wstring penloom9Folder; // the "penloom 9.0" generation's
    std::wstring penloom8Folder; // the "Penloom 8.0" generation's

    // The box text of what ends the run before anything is done (an unreadable catalogue,
    // version.dll or the roaming AppData folder that cannot be had); empty when nothing does.
    std::string failure;
    uint32_t versionLibraryError = 0; // why version.dll could not be loaded; 0 when it could
    bool appDataAsked = false;
    std::wstring appDataFolder; // empty when it cannot be had (or was not asked)

    std::wstring licenseFolder;          // programFolder\LicenseFile
    std::set<std::wstring> licenseFiles; // the names of the files in it

    std::map<std::wstring, int32_t> revisions; // program file -> revision; absent: no version
    std::set<std::wstring> folders;            // folders asked about that exist
    std::set<std::wstring> newer;   // folder\file that LicenseFile holds a newer revision of
    std::set<std::wstring> present; // files asked about that can be opened for reading

    // What runs of the suite's programs, by image name; read for a preview only (a run finds
    // out as it stops them).
    std::map<std::wstring, std::vector<StoppedProcess>> running;
};

// The install folders of the current suite that the per-folder deployment handles: none when
// the catalogue names an install (it gets its own deployment), else every vendor install.
std::vector<std::wstring> InstallFoldersToHandle(const Facts& facts);

// The catalogue or the vendor keys know an install.
bool IsCurrentSuiteFound(const Facts& facts);

// Any generation has an install.
bool IsAnyInstallFound(const Facts& facts);

} // namespace qm
