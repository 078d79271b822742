#pragma once
// What a run reads of the machine before it acts, once: where the suite is installed and where
// each install was registered, the versions and folders its decisions ask about, which of the
// files it may write are there, and, for a preview, what runs. The plan is a pure function of
// these facts (plan.h); edges/machine_facts.h reads them. No Windows API here.
#include "certs/pem_facts.h"
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

// One user profile of a run for all users, and the run's verdict on it.
struct ProfileFacts {
    enum class Verdict {
        Served,     // gets the per-user copy
        NoSuite,    // no Marrowby folder: the suite never ran for this user
        NotCounted, // not a profile the run serves (a system account's, a temporary one, ...)
        LeftOut,    // failed a check: left out for safety, and the run ends with code 4
    };
    std::wstring sid;
    std::wstring account; // DOMAIN\name, or "unresolved"
    std::wstring folder;
    std::wstring appData;
    bool appDataFromHive = false;
    Verdict verdict = Verdict::NotCounted;
    std::wstring reason; // why it is not served

    // The install the user's catalogue names, and whether the run takes it: only one inside the
    // user's own profile, or one the Uninstall keys register too.
    std::wstring catalogueInstall;
    bool catalogueTaken = false;
    std::wstring catalogueReason; // why it is left alone (code 4)
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
    std::wstring failure;
    uint32_t versionLibraryError = 0; // why version.dll could not be loaded; 0 when it could
    bool appDataAsked = false;
    std::wstring appDataFolder; // empty when it cannot be had (or was not asked)

    std::wstring licenseFolder;          // programFolder\LicenseFile
    std::set<std::wstring> licenseFiles; // the names of the files in it

    std::map<std::wstring, int32_t> revisions; // program file -> revision; absent: no version
    std::set<std::wstring> folders;            // folders asked about that exist
    std::set<std::wstring> newer;   // folder\file that LicenseFile holds a newer revision of
    std::set<std::wstring> present; // files asked about that can be opened for reading

    // A run for all users (as SYSTEM, or /allusers): the per-user copies and the catalogues are
    // every served profile's instead of the running account's.
    bool allUsers = false;
    std::vector<ProfileFacts> profiles;

    // Files whose bytes already equal what the plan would copy onto them.
    std::set<std::wstring> current;

    // What the plan would deploy and what it would replace, each file read once: what each PEM
    // file holds, by path (a file that is not PEM is absent), the files that hold no byte,
    // whether LicenseFile's key belongs to its certificate, and when they were read (seconds
    // since 1970-01-01 UTC).
    std::map<std::wstring, PemFacts> pem;
    std::set<std::wstring> emptyFiles;
    KeyPairVerdict keyPair = KeyPairVerdict::NotChecked;
    int64_t now = 0;

    // What runs of the suite's programs, by image name; read for a preview only (a run finds
    // out as it stops them).
    std::map<std::wstring, std::vector<StoppedProcess>> running;
};

// The install folders of the current suite that the per-folder deployment handles: none when
// the catalogue names an install (it gets its own deployment), else every vendor install; in a
// run for all users every vendor install, beside each user's catalogue install.
std::vector<std::wstring> InstallFoldersToHandle(const Facts& facts);

// The catalogue or the vendor keys know an install.
bool IsCurrentSuiteFound(const Facts& facts);

// Any generation has an install.
bool IsAnyInstallFound(const Facts& facts);

// A profile, or an install a user's catalogue names, was left out for safety.
bool IsAnythingLeftOut(const Facts& facts);

} // namespace qm
