#pragma once
// What an end-to-end run of Quillmend.exe needs around it: scratch folders, scratch registry
// keys, stand-in programs, and a driver that starts the program, reads the message box that
// ends its run, presses OK and waits for the exit. Shared by the end-to-end tests and the demo.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win_handles.h"

namespace qm::e2e {

// ---- files -------------------------------------------------------------------------------

// Folder of the running executable; the stand-ins and Quillmend.exe are built beside it.
std::wstring ExeFolder();
bool PathExists(const std::wstring& path);
// Creates the folder and every missing folder above it.
bool MakeFolders(const std::wstring& folder);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// False when the file cannot be read.
bool ReadBytes(const std::wstring& path, std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be read, so comparisons stay readable.
std::string BytesOf(const std::wstring& path);
bool CopyOver(const std::wstring& from, const std::wstring& to);
// Removes a folder tree; retries for a short while because a process that was just ended may
// still hold its files.
bool DeleteTree(const std::wstring& path);
std::wstring RoamingAppData();
std::string Utf8(const std::wstring& text);

// A unique folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// ---- registry ----------------------------------------------------------------------------

inline constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kUninstallKey32[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Keys under HKEY_LOCAL_MACHINE that a scenario owns, each in the registry view its path names
// (a WOW6432Node path is the 32-bit view): removed with its sub-keys when it is claimed (left
// over from a run that died) and again at the end.
class ScratchRegistry {
public:
    ScratchRegistry() = default;
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    void Claim(const std::wstring& keyPath);
    // Creates the key (claiming it) and sets its "App Path" string value.
    bool SetAppPath(const std::wstring& keyPath, const std::wstring& appPath);

private:
    std::vector<std::wstring> owned_;
};

// ---- stand-in programs -------------------------------------------------------------------

// A stand-in executable built with the given version revision (0: no version block).
std::wstring StandInImage(int revision);
// A DLL with revision 200 in its version block: passes the version test, cannot be started.
std::wstring UnrunnableImage();

struct StandInStart {
    DWORD pid = 0;
    std::wstring path;
    std::wstring commandLine;
};

// Stand-ins log every start to one file (QM_STANDIN_LOG, set for this process and so for the
// programs it starts and theirs). Every process that logged a start is ended at the end.
class StandIns {
public:
    explicit StandIns(const std::wstring& logPath);
    ~StandIns();
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

    // Starts the program and waits until it has logged its start; 0 on failure.
    DWORD Start(const std::wstring& exePath);
    // Waits up to `waitMs` for a stand-in started here to end.
    bool HasEnded(DWORD pid, DWORD waitMs) const;
    std::vector<StandInStart> Starts() const;
    // Starts logged after the first `skip` ones, of the program at `exePath`.
    std::vector<StandInStart> StartsOf(const std::wstring& exePath, size_t skip) const;
    void EndAll();

private:
    std::wstring logPath_;
    std::vector<std::pair<DWORD, UniqueProcess>> started_;
};

// ---- running the program -----------------------------------------------------------------

struct BoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    double seconds = 0;       // since the program was started
    double closedSeconds = 0; // when the box was gone after OK; 0 if never seen gone
};

struct RunOptions {
    std::wstring exe;
    // Appended to the quoted program path, as a command line would have them.
    std::wstring arguments;
    std::wstring workingFolder;
    DWORD timeoutMs = 60000;
    // Called once, as soon as the program's hidden window of class "QUILLMEND" exists.
    std::function<void(HWND host)> onHostWindow;
    // Called for every new dialog of the program; returning true keeps the driver off it
    // (the caller deals with it). Dialogs not taken are read as message boxes and answered OK.
    std::function<bool(HWND dialog)> onDialog;
    // Called with a message box before OK is pressed on it.
    std::function<void(const BoxInfo& box)> onBox;
};

struct RunOutcome {
    bool started = false;
    bool exited = false;
    DWORD exitCode = 0xFFFFFFFF;
    DWORD pid = 0;
    std::vector<BoxInfo> boxes;
    // Visible top-level windows of the program other than dialogs (it should show none).
    int otherVisibleWindows = 0;
    double seconds = 0;   // start to exit
    std::wstring problem; // what went wrong in the harness, if anything
};

RunOutcome RunProgram(const RunOptions& options);

// Top-level windows of class "#32770" that belong to the process.
std::vector<HWND> DialogsOf(DWORD pid);
std::wstring WindowText(HWND window);
std::wstring ClassOf(HWND window);
// Child windows of a dialog with their ids and texts, in z-order.
struct ChildInfo {
    int id = 0;
    std::wstring className;
    std::wstring text;
};
std::vector<ChildInfo> ChildrenOf(HWND dialog);
// The line and caption of a message box (its text is the static control 0xFFFF).
std::wstring MessageBoxText(HWND box);
// Saves what the screen shows inside the window's rectangle as a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::wstring& bmpPath);

} // namespace qm::e2e
