// The About dialog shown modally from the built program's template; a thread timer acts like
// the user once the dialog is up.
#include "app/about_dialog.h"

#include "platform/paths.h"
#include "platform/win_handles.h"
#include "res/resource.h"

#include <doctest/doctest.h>

#include <vector>

using namespace qm;

namespace {

enum class UserAction { PressOk, PressCancel, Close, KeyEnter, KeyEscape };

UserAction g_action = UserAction::PressOk;
int g_ticks = 0;
constexpr int kGiveUpTicks = 100;

HWND FindAboutDialog() {
    return FindWindowW(L"#32770", L"关于 Quillmend");
}

void CALLBACK ActLikeUser(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = FindAboutDialog();
    if (!dialog) {
        if (++g_ticks > kGiveUpTicks) {
            KillTimer(nullptr, timer);
        }
        return;
    }
    KillTimer(nullptr, timer);
    switch (g_action) {
    case UserAction::PressOk:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        break;
    case UserAction::PressCancel:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        break;
    case UserAction::Close:
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case UserAction::KeyEnter:
        PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_RETURN, 0);
        break;
    case UserAction::KeyEscape:
        PostMessageW(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    }
}

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(32768, L'\0');
    GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return ParentFolder(ParentFolder(ParentFolder(buffer.data()))) + L"\\app\\Quillmend.exe";
}

INT_PTR ShowAbout(UserAction action) {
    const UniqueModule program(LoadLibraryExW(
        ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(program.valid());
    g_action = action;
    g_ticks = 0;
    REQUIRE(SetTimer(nullptr, 0, 50, ActLikeUser) != 0);
    return DialogBoxParamW(program.get(), MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr, AboutDialogProc,
                           0);
}

} // namespace

TEST_CASE("about_dialog_modal_results") {
    CHECK(ShowAbout(UserAction::PressOk) == IDOK);
    CHECK(ShowAbout(UserAction::PressCancel) == IDCANCEL);
    CHECK(ShowAbout(UserAction::Close) == IDCANCEL);
    CHECK(ShowAbout(UserAction::KeyEnter) == IDOK);
    CHECK(ShowAbout(UserAction::KeyEscape) == IDCANCEL);
}

TEST_CASE("about_dialog_procedure_answers") {
    const HWND none = nullptr;
    CHECK(AboutDialogProc(none, WM_INITDIALOG, 0, 0) == TRUE);
    // Messages the dialog leaves to the dialog manager.
    CHECK(AboutDialogProc(none, WM_COMMAND, MAKEWPARAM(IDC_STATIC, 0), 0) == FALSE);
    CHECK(AboutDialogProc(none, WM_PAINT, 0, 0) == FALSE);
    CHECK(AboutDialogProc(none, WM_TIMER, 1, 0) == FALSE);
}
