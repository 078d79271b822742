#pragma once
// The program's command line, read once at start-up into a plain options value. Started
// without arguments the program runs as it always has; every switch starts with "/" or "-" and
// is matched without regard to letter case. No Windows API here.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct Options {
    bool hasArguments = false; // any argument at all: exit codes tell the outcome
    bool quiet = false;        // no message box, ever
    bool preview = false;      // decide everything, change nothing
    bool check = false;        // is this machine current? changes nothing; exit code 5: it is not
    bool allUsers = false;     // every user profile's per-user copy and catalogue
    bool allowOlder = false;   // a certificate may replace one that expires later
    bool help = false;         // show the usage, do nothing else
    bool log = false;          // append a record of the run
    std::wstring logPath;      // empty with log: the default log file
    bool json = false;         // write the run's record
    std::wstring jsonPath;     // empty with json: the default record file
    bool restore = false;      // put a backup set back
    std::wstring restoreStamp; // empty with restore: the newest set
};

struct ParsedCommandLine {
    bool understood = true;
    Options options;
    std::wstring offending; // the argument that was not understood
};

// Reads the arguments after the program's own name.
ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// What the program could read of where it runs; a part that could not be read is not known.
struct DesktopFacts {
    bool stationKnown = false;
    bool stationVisible = false; // the window station is flagged WSF_VISIBLE
    bool sessionKnown = false;
    uint32_t session = 0;
};

// True when a user could see a box. A service's window station is not visible. Session 0 holds
// only services and SYSTEM programs (a deployment agent's): its window station is flagged
// visible, yet nobody works there to close a box. What cannot be read does not hide boxes.
bool IsDesktopVisible(const DesktopFacts& facts);

// Boxes are shown unless /quiet asks otherwise or nobody could see them: a program without a
// visible window station (a service's, session 0's) would wait forever on a box no one clicks.
bool ShouldShowBoxes(bool quiet, bool desktopVisible);

// The usage text; names the argument that was not understood when there is one.
std::wstring UsageText(const std::wstring& offending);

} // namespace qm
