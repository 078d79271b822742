// The About dialog: the program's name, version and copyright from its resources.
#include "app/about_dialog.h"

namespace qm {

namespace {

INT_PTR OnAboutInitDialog() {
    return TRUE; // the default focus (the OK button) is fine
}

INT_PTR OnAboutCommand(HWND dialog, WORD command) {
    if (command != IDOK && command != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog, command);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        return OnAboutInitDialog();
    case WM_COMMAND:
        return OnAboutCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace qm
