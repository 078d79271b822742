// The list dialog: its size, its layout, its keys and its copy.
#include "app/list_dialog.h"

#include "app/list_layout.h"
#include "platform/win_handles.h"
#include "res/resource.h"

#include <cstring>

namespace qm {

namespace {

// In dialog units, which follow the dialog font and so the display's DPI.
constexpr int kMargin = 7;
constexpr int kVerdictHeight = 18;
constexpr int kGap = 4;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr WPARAM kControlA = 1; // the character Ctrl+A types

struct ListDialog {
    std::wstring caption;
    std::wstring verdict;
    std::wstring list;
    Extent minimum; // the template's size: the smallest the dialog may be made
};

// An edit control breaks lines at "\r\n" only.
std::wstring WithCarriageReturns(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            out += L'\r';
        }
        out += text[i];
    }
    return out;
}

POINT Dlu(HWND dialog, int x, int y) {
    RECT rect{0, 0, x, y};
    MapDialogRect(dialog, &rect);
    return {rect.right, rect.bottom};
}

Extent SizeOf(const RECT& rect) {
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void Place(HWND dialog, int id, int x, int y, int width, int height) {
    SetWindowPos(GetDlgItem(dialog, id), nullptr, x, y, width > 0 ? width : 0,
                 height > 0 ? height : 0, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The verdict across the top, the buttons at the bottom right, the list in between.
void Layout(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const POINT margin = Dlu(dialog, kMargin, kMargin);
    const POINT gap = Dlu(dialog, kGap, kGap);
    const POINT button = Dlu(dialog, kButtonWidth, kButtonHeight);
    const int verdictHeight = Dlu(dialog, 0, kVerdictHeight).y;
    const int width = client.right - 2 * margin.x;
    const int buttonTop = client.bottom - margin.y - button.y;
    const int okLeft = client.right - margin.x - button.x;
    const int listTop = margin.y + verdictHeight + gap.y;
    Place(dialog, IDC_LIST_VERDICT, margin.x, margin.y, width, verdictHeight);
    Place(dialog, IDC_LIST_TEXT, margin.x, listTop, width, buttonTop - gap.y - listTop);
    Place(dialog, IDC_LIST_COPY, okLeft - gap.x - button.x, buttonTop, button.x, button.y);
    Place(dialog, IDOK, okLeft, buttonTop, button.x, button.y);
}

// The list's text as the edit control draws it, in pixels.
Extent TextExtent(HWND edit, const std::wstring& text) {
    const HDC dc = GetDC(edit);
    if (!dc) {
        return {};
    }
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(edit, dc);
    // The edit's own margins, and a line to spare, so that a list that fits shows no scrolling.
    const DWORD margins = static_cast<DWORD>(SendMessageW(edit, EM_GETMARGINS, 0, 0));
    return {rect.right + LOWORD(margins) + HIWORD(margins) + metrics.tmAveCharWidth,
            rect.bottom + metrics.tmHeight};
}

// Sized to the list where the monitor allows, centred on its work area.
void SizeToList(HWND dialog, const ListDialog& state) {
    RECT window{};
    RECT listClient{};
    GetWindowRect(dialog, &window);
    GetClientRect(GetDlgItem(dialog, IDC_LIST_TEXT), &listClient);
    const Extent windowSize = SizeOf(window);
    const Extent listSize = SizeOf(listClient);
    const Extent chrome{windowSize.width - listSize.width, windowSize.height - listSize.height};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const Extent work = SizeOf(monitor.rcWork);
    const Extent size = ListDialogExtent(TextExtent(GetDlgItem(dialog, IDC_LIST_TEXT), state.list),
                                         chrome, state.minimum, work);
    SetWindowPos(dialog, nullptr, monitor.rcWork.left + (work.width - size.width) / 2,
                 monitor.rcWork.top + (work.height - size.height) / 2, size.width, size.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CopyToClipboard(HWND owner, const std::wstring& text) {
    const UniqueClipboard clipboard(OpenClipboard(owner) != FALSE);
    if (!clipboard || !EmptyClipboard()) {
        return false;
    }
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    void* data = memory ? GlobalLock(memory.get()) : nullptr;
    if (!data) {
        return false;
    }
    std::memcpy(data, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (!SetClipboardData(CF_UNICODETEXT, memory.get())) {
        return false;
    }
    memory.release(); // the clipboard's now
    return true;
}

// The list's keys: Ctrl+A selects all of it; Enter and Esc close the dialog, as they would from
// a button (a multi-line edit takes every key for itself).
LRESULT CALLBACK ListEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    if (message == WM_KEYDOWN) {
        if (wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
            SendMessageW(edit, EM_SETSEL, 0, -1);
            return 0;
        }
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            PostMessageW(GetParent(edit), WM_COMMAND, wParam == VK_RETURN ? IDOK : IDCANCEL, 0);
            return 0;
        }
    }
    if (message == WM_CHAR && (wParam == kControlA || wParam == L'\r' || wParam == VK_ESCAPE)) {
        return 0; // handled as keys above; the edit would only beep
    }
    return CallWindowProcW(previous, edit, message, wParam, lParam);
}

INT_PTR OnInit(HWND dialog, ListDialog& state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    RECT window{};
    GetWindowRect(dialog, &window);
    state.minimum = SizeOf(window);
    SetWindowTextW(dialog, state.caption.c_str());
    SetDlgItemTextW(dialog, IDC_LIST_VERDICT, state.verdict.c_str());
    const HWND edit = GetDlgItem(dialog, IDC_LIST_TEXT);
    // An edit control holds 32K characters unless told more.
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
    SetWindowTextW(edit, state.list.c_str());
    SetWindowLongPtrW(edit, GWLP_USERDATA, GetWindowLongPtrW(edit, GWLP_WNDPROC));
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListEditProc));
    SizeToList(dialog, state);
    Layout(dialog);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, 0);
    return FALSE; // the focus is set
}

INT_PTR CALLBACK ListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ListDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInit(dialog, *reinterpret_cast<ListDialog*>(lParam));
    case WM_SIZE:
        Layout(dialog);
        return TRUE;
    case WM_GETMINMAXINFO:
        if (state) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {state->minimum.width, state->minimum.height};
        }
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case IDC_LIST_COPY:
            if (state) {
                CopyToClipboard(dialog, state->list);
            }
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

bool ShowListDialog(HWND owner, const std::wstring& caption, const std::wstring& verdict,
                    const std::wstring& list) {
    ListDialog state{caption, verdict, WithCarriageReturns(list), {}};
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LIST), owner,
                           ListDialogProc, reinterpret_cast<LPARAM>(&state)) > 0;
}

} // namespace qm
