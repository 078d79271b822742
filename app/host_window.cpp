// The hidden host window: its class, its timer and the run it starts on the first tick.
#include "app/host_window.h"

#include "app/about_dialog.h"
#include "app/run_update.h"
#include "run/run_plan.h"
#include "res/resource.h"

#include <array>

namespace qm {

namespace {

constexpr int kStringCapacity = 100;
constexpr int kNoExtraBytes = 0;
constexpr DWORD kNoExtendedStyle = 0;
constexpr HWND kNoParent = nullptr;
constexpr HMENU kClassMenu = nullptr;
constexpr HINSTANCE kSystemResources = nullptr;
constexpr LPARAM kNoDialogParameter = 0;
constexpr int kQuitCode = 0;

// Set once at start-up; the About dialog is loaded from this module.
HINSTANCE g_instance = nullptr;

void RegisterHostWindowClass(HINSTANCE instance, const wchar_t* className) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.cbClsExtra = kNoExtraBytes;
    windowClass.cbWndExtra = kNoExtraBytes;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLMEND));
    windowClass.hCursor = LoadCursorW(kSystemResources, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_QUILLMEND);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLMEND));
    // A failed registration shows as a failed window creation.
    RegisterClassExW(&windowClass);
}

void SetWindowIcons(HINSTANCE instance, HWND window) {
    const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLMEND));
    if (!icon) {
        return;
    }
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

// The run timer is killed at once, so the run happens once; other timers are not ours.
LRESULT OnTimer(HWND window, UINT_PTR timerId) {
    RunContext* context = reinterpret_cast<RunContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (timerId != kRunTimerId || !context) {
        return 0;
    }
    KillTimer(window, kRunTimerId);
    context->result = RunUpdate(window, *context);
    DestroyWindow(window);
    return 0;
}

// The run's context comes with the window's creation; a window made without one runs nothing.
LRESULT OnNcCreate(HWND window, const CREATESTRUCTW& creation, WPARAM wParam, LPARAM lParam) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation.lpCreateParams));
    return DefWindowProcW(window, WM_NCCREATE, wParam, lParam);
}

// True when the command was one of the menu's.
bool OnCommand(HWND window, WORD command) {
    switch (command) {
    case IDM_ABOUT:
        DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutDialogProc,
                        kNoDialogParameter);
        return true;
    case IDM_EXIT:
        DestroyWindow(window);
        return true;
    default:
        return false;
    }
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnDestroy() {
    PostQuitMessage(kQuitCode);
    return 0;
}

} // namespace

HWND CreateHostWindow(HINSTANCE instance, RunContext& context) {
    std::array<wchar_t, kStringCapacity> title{};
    std::array<wchar_t, kStringCapacity> className{};
    LoadStringW(instance, IDS_APP_TITLE, title.data(), kStringCapacity);
    LoadStringW(instance, IDC_QUILLMEND, className.data(), kStringCapacity);
    RegisterHostWindowClass(instance, className.data());
    g_instance = instance;

    const HWND window = CreateWindowExW(kNoExtendedStyle, className.data(), title.data(),
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                        kNoParent, kClassMenu, instance, &context);
    if (!window) {
        return nullptr;
    }
    SetWindowIcons(instance, window);
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return window;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return OnNcCreate(window, *reinterpret_cast<const CREATESTRUCTW*>(lParam), wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, static_cast<UINT_PTR>(wParam));
    case WM_COMMAND:
        if (OnCommand(window, LOWORD(wParam))) {
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_PAINT:
        return OnPaint(window);
    case WM_DESTROY:
        return OnDestroy();
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace qm
