// A version.dll planted beside a program. Loading it leaves a marker file beside the DLL that
// names the process that loaded it. Its exports stand in for the real ones so that a program
// importing version.dll statically starts with it; they find no version information.
#include <windows.h>

#include <string>

namespace {

std::wstring ModulePath(HMODULE module) {
    wchar_t buffer[32768] = {};
    GetModuleFileNameW(module, buffer, 32768);
    return buffer;
}

void LeaveMarker(HMODULE self) {
    const std::wstring dllPath = ModulePath(self);
    const std::wstring marker =
        dllPath.substr(0, dllPath.find_last_of(L'\\') + 1) + L"planted-version-dll-loaded.txt";
    const std::wstring line = ModulePath(nullptr) + L"\r\n";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
                  nullptr);
        CloseHandle(file);
    }
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        LeaveMarker(instance);
    }
    return TRUE;
}

// Exported under the real names through planted_version.def.
DWORD WINAPI PlantedSizeW(LPCWSTR, LPDWORD) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}
DWORD WINAPI PlantedSizeA(LPCSTR, LPDWORD) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}
BOOL WINAPI PlantedInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    return FALSE;
}
BOOL WINAPI PlantedInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    return FALSE;
}
BOOL WINAPI PlantedQueryW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
    return FALSE;
}
BOOL WINAPI PlantedQueryA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
    return FALSE;
}
DWORD WINAPI PlantedSizeExW(DWORD, LPCWSTR, LPDWORD) {
    return 0;
}
BOOL WINAPI PlantedInfoExW(DWORD, LPCWSTR, DWORD, DWORD, LPVOID) {
    return FALSE;
}
}
