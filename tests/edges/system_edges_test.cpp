// The real edges under Wine, and whole runs over them with only the waits, the boxes, the
// starts, the process ends and the AppData folder replaced: the registry, the files and
// LicenseFile beside this test program are real and removed again afterwards.
#include "edges/system_edges.h"

#include "run/run_plan.h"
#include "run/update_run.h"
#include "fileops/deploy.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/user_error.h"
#include "platform/win_handles.h"
#include "tests/discovery/registry_views.h"

#include <doctest/doctest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace qm;

namespace {

const std::wstring kVendorKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MARROWBY";
const std::wstring kOldestKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Penloom 8.0";

const std::string kSuccessText =
    "\xD7\xE9\xBC\xFE\xB7\xFE\xCE\xF1\xD0\xDE\xB8\xB4\xB3\xC9\xB9\xA6!"; // 组件服务修复成功!
const std::string kErrorCaption = "\xB4\xED\xCE\xF3";                    // 错误

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry{};
    UniqueFind find(FindFirstFileW(JoinPath(path, L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring child = JoinPath(path, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    find.reset();
    RemoveDirectoryW(path.c_str());
}

void WriteFile(const std::wstring& path, const std::string& content) {
    std::ofstream out(ToNarrow(path), std::ios::binary);
    REQUIRE(out.good());
    out << content;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(ToNarrow(path), std::ios::binary);
    if (!in) {
        return "(missing)";
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) {
    REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
}

// A fresh folder under %TEMP%, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        REQUIRE(GetTempPathW(MAX_PATH + 1, temp) > 0);
        path_ =
            TrimTrailingBackslash(temp) + L"\\qm-edges-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        MakeFolder(path_);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// The LicenseFile folder beside this test program, with the replacement files.
class LicenseFolder {
public:
    LicenseFolder() : path_(JoinPath(ProgramFolder(), L"LicenseFile")) {
        RemoveTree(path_);
        MakeFolder(path_);
        WriteFile(JoinPath(path_, L"sslServer.tg"), "new tg");
        WriteFile(JoinPath(path_, L"server.key"), "new key");
        WriteFile(JoinPath(path_, L"server.pem"), "new pem");
    }
    ~LicenseFolder() { RemoveTree(path_); }
    LicenseFolder(const LicenseFolder&) = delete;
    LicenseFolder& operator=(const LicenseFolder&) = delete;

private:
    std::wstring path_;
};

// Scratch Uninstall keys, removed before and after.
class ScratchKeys {
public:
    ScratchKeys() { Clean(); }
    ~ScratchKeys() { Clean(); }
    ScratchKeys(const ScratchKeys&) = delete;
    ScratchKeys& operator=(const ScratchKeys&) = delete;

    void SetAppPath(const std::wstring& keyPath, const std::wstring& text) {
        UniqueRegKey key;
        REQUIRE(test::CreateKeyInView(keyPath, key) == ERROR_SUCCESS);
        REQUIRE(test::WriteAppPath(key.get(), text) == ERROR_SUCCESS);
    }

private:
    static void Clean() {
        for (const std::wstring& key : {kVendorKey, kOldestKey}) {
            test::DeleteTreeInView(key);
        }
    }
};

// A plain hidden window standing in for the host window.
class StandInWindow {
public:
    StandInWindow()
        : window_(CreateWindowExW(0, L"STATIC", L"stand-in", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr)) {
        REQUIRE(window_ != nullptr);
    }
    ~StandInWindow() {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
    }
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

// The real edges except what would wait, show a box, start or end programs, or touch the
// real user's AppData.
class QuietEdges : public SystemEdges {
public:
    QuietEdges(HWND window, std::wstring appData)
        : SystemEdges(window), appData_(std::move(appData)) {}

    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<std::wstring> ended;
    std::vector<std::wstring> started;
    int waits = 0;

    void ShowMessage(const std::string& text, const std::string& caption) override {
        boxes.emplace_back(text, caption);
    }
    void Wait(uint32_t) override { ++waits; }
    StartResult StartProgram(const std::wstring& imagePath, const std::wstring&) override {
        started.push_back(imagePath);
        return {true, 42, {}};
    }
    bool GetRoamingAppDataFolder(std::wstring& folder) override {
        folder = appData_;
        return true;
    }
    std::vector<StoppedProcess> StopProcessesByName(const std::wstring& imageName) override {
        ended.push_back(imageName);
        return {};
    }

private:
    std::wstring appData_;
};

} // namespace

TEST_CASE("system_edges_real_calls") {
    StandInWindow window;
    SystemEdges edges(window.get());
    TempFolder temp;

    SUBCASE("the run timer is killed on the window") {
        REQUIRE(SetTimer(window.get(), kRunTimerId, 60000, nullptr) != 0);
        edges.KillRunTimer();
        CHECK_FALSE(KillTimer(window.get(), kRunTimerId));
    }
    SUBCASE("the window is destroyed") {
        edges.DestroyHostWindow();
        CHECK_FALSE(IsWindow(window.get()));
    }
    SUBCASE("folders that exist and that do not") {
        CHECK(edges.FolderExists(temp.path()));
        CHECK_FALSE(edges.FolderExists(JoinPath(temp.path(), L"absent")));
    }
    SUBCASE("the roaming AppData folder is a real folder") {
        std::wstring folder;
        REQUIRE(edges.GetRoamingAppDataFolder(folder));
        CHECK_FALSE(folder.empty());
        CHECK(Exists(folder));
    }
    SUBCASE("version.dll loads from the system folder") {
        uint32_t error = 0;
        CHECK(edges.LoadVersionLibrary(error));
    }
    SUBCASE("starting a program that is not there answers 2, as the shell did") {
        const StartResult answer = edges.StartProgram(JoinPath(temp.path(), L"absent.exe"), L" -i");
        CHECK_FALSE(answer.started);
        CHECK(answer.errorCode == ERROR_FILE_NOT_FOUND);
    }
}

TEST_CASE("system_edges_whole_run") {
    TempFolder temp;
    LicenseFolder license;
    ScratchKeys keys;
    StandInWindow window;
    const std::wstring appData = JoinPath(temp.path(), L"Roaming");
    MakeFolder(appData);
    QuietEdges edges(window.get(), appData);

    SUBCASE("a registered install and the per-user copy receive the key pair") {
        const std::wstring suite = JoinPath(temp.path(), L"Suite");
        MakeFolder(suite);
        MakeFolder(JoinPath(suite, L"App"));
        MakeFolder(JoinPath(suite, L"MWClientServer"));
        keys.SetAppPath(kVendorKey + L"\\Product A", JoinPath(suite, L"App\\"));

        RunUpdateWith(edges, kRunTimerId);

        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].first == kSuccessText);
        CHECK(ReadFile(JoinPath(suite, L"MWClientServer\\server.key")) == "new key");
        CHECK(ReadFile(JoinPath(suite, L"MWClientServer\\server.pem")) == "new pem");
        CHECK_FALSE(Exists(JoinPath(suite, L"MWClientServer\\sslServer.tg")));
        CHECK(ReadFile(JoinPath(appData, L"Marrowby\\MWClientServer\\server.key")) == "new key");
        CHECK(edges.ended == std::vector<std::wstring>{L"MWSealService.exe", L"MWClientServer.exe",
                                                       L"MWSealCenterUpdate.exe"});
        CHECK(edges.waits == 1);
        CHECK(edges.started.empty());
        CHECK_FALSE(IsWindow(window.get()));
    }
    SUBCASE("a missing client folder ends the run with the install-copy message") {
        const std::wstring suite = JoinPath(temp.path(), L"Bare");
        MakeFolder(suite);
        keys.SetAppPath(kVendorKey + L"\\Product A", JoinPath(suite, L"App"));

        RunUpdateWith(edges, kRunTimerId);

        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].first ==
              ToNarrow(FormatUserMessage(L"授权文件替换到安装目录失败，Errcode: %d",
                                         {static_cast<unsigned long>(ERROR_PATH_NOT_FOUND)})));
        CHECK(edges.boxes[0].second == kErrorCaption);
        CHECK_FALSE(Exists(JoinPath(appData, L"Marrowby")));
        CHECK_FALSE(IsWindow(window.get()));
    }
    SUBCASE("the oldest generation gets its key and certificate where they are present") {
        const std::wstring parent = JoinPath(temp.path(), L"P8");
        const std::wstring install = JoinPath(parent, L"App");
        MakeFolder(parent);
        MakeFolder(install);
        WriteFile(JoinPath(install, L"ssl.key"), "old key");
        WriteFile(JoinPath(parent, L"key.pem"), "old pem");
        keys.SetAppPath(kOldestKey, install + L"\\");

        RunUpdateWith(edges, kRunTimerId);

        REQUIRE(edges.boxes.size() == 1);
        CHECK(edges.boxes[0].first == kSuccessText);
        CHECK(ReadFile(JoinPath(install, L"ssl.key")) == "new key");
        CHECK(ReadFile(JoinPath(parent, L"key.pem")) == "new pem");
        // Absent targets are not created.
        CHECK_FALSE(Exists(JoinPath(install, L"key.pem")));
        CHECK_FALSE(Exists(JoinPath(parent, L"ssl.key")));
        CHECK(edges.ended == std::vector<std::wstring>{L"MWClientServer.exe"});
        CHECK(edges.waits == 1);
        // The current suite was not found: the per-user folder is not touched.
        CHECK_FALSE(Exists(JoinPath(appData, L"Marrowby")));
    }
}
