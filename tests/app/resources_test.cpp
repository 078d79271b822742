// Reads the built Quillmend.exe as a data file and checks its resources and imports.
#include "platform/paths.h"
#include "platform/win_handles.h"
#include "res/resource.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace qm;

namespace {

constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The test sits in tests\app of the build tree, the program in app.
std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(32768, L'\0');
    GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    const std::wstring buildTree = ParentFolder(ParentFolder(ParentFolder(buffer.data())));
    return buildTree + L"\\app\\Quillmend.exe";
}

UniqueModule LoadProgramAsData() {
    UniqueModule module(LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(module.valid());
    return module;
}

// Mapped as an image, so directories are found by their relative addresses. The low bits of
// a data-file module handle are flags. The program has this test's bitness, so the headers
// are this build's IMAGE_NT_HEADERS.
const BYTE* ImageBase(HMODULE module) {
    return reinterpret_cast<const BYTE*>(reinterpret_cast<uintptr_t>(module) &
                                         ~static_cast<uintptr_t>(3));
}

const IMAGE_NT_HEADERS& NtHeaders(const BYTE* base) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    REQUIRE(dos->e_magic == IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    REQUIRE(nt->Signature == IMAGE_NT_SIGNATURE);
    return *nt;
}

std::string FileBytes(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    REQUIRE(file.valid());
    LARGE_INTEGER size{};
    REQUIRE(GetFileSizeEx(file.get(), &size));
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    REQUIRE(ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
    REQUIRE(read == bytes.size());
    return bytes;
}

std::vector<BYTE> ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name,
                                WORD language) {
    const HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) {
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    REQUIRE(loaded != nullptr);
    const auto* data = static_cast<const BYTE*>(LockResource(loaded));
    return std::vector<BYTE>(data, data + SizeofResource(module, found));
}

// Little-endian readers over a resource, for the template layouts.
class Reader {
public:
    explicit Reader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}
    WORD Word() {
        REQUIRE(at_ + 2 <= bytes_.size());
        const WORD value = static_cast<WORD>(bytes_[at_] | (bytes_[at_ + 1] << 8));
        at_ += 2;
        return value;
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    BYTE Byte() {
        REQUIRE(at_ < bytes_.size());
        return bytes_[at_++];
    }
    std::wstring Text() {
        std::wstring text;
        for (WORD unit = Word(); unit != 0; unit = Word()) {
            text.push_back(static_cast<wchar_t>(unit));
        }
        return text;
    }
    // A name or ordinal field: an ordinal is 0xFFFF followed by its value.
    std::wstring TextOrOrdinal() {
        const WORD first = Word();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Word());
        }
        std::wstring text;
        for (WORD unit = first; unit != 0; unit = Word()) {
            text.push_back(static_cast<wchar_t>(unit));
        }
        return text;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count) { at_ += count; }

private:
    const std::vector<BYTE>& bytes_;
    size_t at_ = 0;
};

struct ResourceEntry {
    std::wstring type;
    std::wstring name;
    WORD language;
};

std::wstring IdText(const wchar_t* id) {
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<uintptr_t>(id))
                              : std::wstring(id);
}

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR context) {
    reinterpret_cast<std::vector<ResourceEntry>*>(context)->push_back(
        {IdText(type), IdText(name), language});
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context) {
    EnumResourceLanguagesW(module, type, name, OnLanguage, context);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR context) {
    EnumResourceNamesW(module, type, OnName, context);
    return TRUE;
}

std::vector<ResourceEntry> AllResources(HMODULE module) {
    std::vector<ResourceEntry> entries;
    EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&entries));
    return entries;
}

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[100] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 100, MF_BYPOSITION);
    return text;
}

} // namespace

TEST_CASE("resources_strings_and_languages") {
    const UniqueModule program = LoadProgramAsData();

    SUBCASE("title and class name") {
        wchar_t text[100] = {};
        CHECK(LoadStringW(program.get(), IDS_APP_TITLE, text, 100) == 9);
        CHECK(std::wstring(text) == L"Quillmend");
        CHECK(LoadStringW(program.get(), IDC_QUILLMEND, text, 100) == 9);
        CHECK(std::wstring(text) == L"QUILLMEND");
    }
    SUBCASE("every resource is Chinese Simplified except the manifest, which is English") {
        const std::vector<ResourceEntry> entries = AllResources(program.get());
        int manifests = 0;
        for (const ResourceEntry& entry : entries) {
            CAPTURE(entry.type);
            CAPTURE(entry.name);
            if (entry.type == L"#24") {
                ++manifests;
                CHECK(entry.language == kEnglish);
            } else {
                CHECK(entry.language == kChinese);
            }
        }
        // One manifest only: no toolchain default beside ours.
        CHECK(manifests == 1);
        // Strings, menu, accelerators, two dialogs, icon group and image, version, manifest.
        CHECK(entries.size() == 9);
    }
}

TEST_CASE("resources_menu_and_accelerators") {
    const UniqueModule program = LoadProgramAsData();

    SUBCASE("menu 109") {
        const std::vector<BYTE> bytes =
            ResourceBytes(program.get(), RT_MENU, MAKEINTRESOURCEW(IDC_QUILLMEND), kChinese);
        REQUIRE_FALSE(bytes.empty());
        const HMENU menu = LoadMenuIndirectW(bytes.data());
        REQUIRE(menu != nullptr);
        REQUIRE(GetMenuItemCount(menu) == 2);
        CHECK(MenuText(menu, 0) == L"文件(&F)");
        CHECK(MenuText(menu, 1) == L"帮助(&H)");
        const HMENU file = GetSubMenu(menu, 0);
        const HMENU help = GetSubMenu(menu, 1);
        REQUIRE(file != nullptr);
        REQUIRE(help != nullptr);
        REQUIRE(GetMenuItemCount(file) == 1);
        CHECK(MenuText(file, 0) == L"退出(&X)");
        CHECK(GetMenuItemID(file, 0) == IDM_EXIT);
        REQUIRE(GetMenuItemCount(help) == 1);
        CHECK(MenuText(help, 0) == L"关于(&A) ...");
        CHECK(GetMenuItemID(help, 0) == IDM_ABOUT);
        DestroyMenu(menu);
    }
    SUBCASE("accelerators 109: Alt with the characters ? and /") {
        const std::vector<BYTE> bytes =
            ResourceBytes(program.get(), RT_ACCELERATOR, MAKEINTRESOURCEW(IDC_QUILLMEND), kChinese);
        // Entries of four words: flags, key, command, padding; 0x80 marks the last one.
        REQUIRE(bytes.size() == 16);
        Reader reader(bytes);
        const WORD kAlt = FALT;
        const WORD kLast = 0x80;
        CHECK(reader.Word() == kAlt); // a character, not a virtual key
        CHECK(reader.Word() == '?');
        CHECK(reader.Word() == IDM_ABOUT);
        reader.Word();
        CHECK(reader.Word() == (kAlt | kLast));
        CHECK(reader.Word() == '/');
        CHECK(reader.Word() == IDM_ABOUT);
    }
}

TEST_CASE("resources_icon_image") {
    const UniqueModule program = LoadProgramAsData();
    const std::vector<BYTE> group =
        ResourceBytes(program.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_QUILLMEND), kChinese);
    Reader reader(group);
    reader.Word(); // reserved
    CHECK(reader.Word() == 1);
    REQUIRE(reader.Word() == 1); // one image
    CHECK(reader.Byte() == 64);
    CHECK(reader.Byte() == 64);
    reader.Skip(2);
    CHECK(reader.Word() == 1); // planes
    CHECK(reader.Word() == 32);
    reader.Dword();
    const WORD imageId = reader.Word();

    const std::vector<BYTE> image =
        ResourceBytes(program.get(), RT_ICON, MAKEINTRESOURCEW(imageId), kChinese);
    REQUIRE(image.size() >= sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header{};
    std::memcpy(&header, image.data(), sizeof(header));
    CHECK(header.biWidth == 64);
    CHECK(header.biHeight == 128); // colour and mask
    CHECK(header.biBitCount == 32);

    // The system accepts it as a 64 by 64 icon.
    const HICON icon =
        CreateIconFromResourceEx(const_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size()),
                                 TRUE, 0x00030000, 64, 64, LR_DEFAULTCOLOR);
    REQUIRE(icon != nullptr);
    ICONINFO info{};
    REQUIRE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof(colour), &colour);
    CHECK(colour.bmWidth == 64);
    CHECK(colour.bmHeight == 64);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

TEST_CASE("resources_about_dialog_template") {
    const UniqueModule program = LoadProgramAsData();
    const std::vector<BYTE> bytes =
        ResourceBytes(program.get(), RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX), kChinese);
    REQUIRE_FALSE(bytes.empty());
    Reader reader(bytes);

    // Extended template header.
    CHECK(reader.Word() == 1);
    CHECK(reader.Word() == 0xFFFF);
    reader.Dword();              // help id
    CHECK(reader.Dword() == 0u); // extended style
    CHECK(reader.Dword() == static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                               DS_SETFONT | DS_FIXEDSYS));
    REQUIRE(reader.Word() == 4);
    CHECK(reader.Word() == 0);
    CHECK(reader.Word() == 0);
    CHECK(reader.Word() == 170);
    CHECK(reader.Word() == 62);
    CHECK(reader.TextOrOrdinal() == L""); // no menu
    CHECK(reader.TextOrOrdinal() == L""); // default class
    CHECK(reader.Text() == L"关于 Quillmend");
    CHECK(reader.Word() == 9);
    reader.Word(); // weight
    reader.Byte(); // italic
    CHECK(reader.Byte() == DEFAULT_CHARSET);
    CHECK(reader.Text() == L"MS Shell Dlg");

    struct Control {
        DWORD style;
        short x, y, cx, cy;
        DWORD id;
        const wchar_t* windowClass;
        const wchar_t* text;
    };
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD none = 0xFFFFFFFF;
    const Control expected[] = {
        {child | SS_ICON, 14, 14, 21, 20, none, L"#130", L"#131"},
        {child | WS_GROUP | SS_NOPREFIX | SS_LEFT, 42, 14, 114, 8, none, L"#130",
         L"Quillmend\uFF0C1.0 版"},
        {child | WS_GROUP | SS_LEFT, 42, 26, 114, 8, none, L"#130", nullptr},
        {child | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 113, 41, 50, 14, IDOK, L"#128", L"确定"},
    };
    for (const Control& control : expected) {
        CAPTURE(control.x);
        CAPTURE(control.y);
        reader.AlignToDword();
        reader.Dword(); // help id
        CHECK(reader.Dword() == 0u);
        CHECK(reader.Dword() == control.style);
        CHECK(static_cast<short>(reader.Word()) == control.x);
        CHECK(static_cast<short>(reader.Word()) == control.y);
        CHECK(static_cast<short>(reader.Word()) == control.cx);
        CHECK(static_cast<short>(reader.Word()) == control.cy);
        CHECK(reader.Dword() == control.id);
        CHECK(reader.TextOrOrdinal() == control.windowClass);
        const std::wstring text = reader.TextOrOrdinal();
        if (control.text) {
            CHECK(text == control.text);
        } else {
            CHECK_FALSE(text.empty());
        }
        reader.Skip(reader.Word()); // creation data
    }
}

TEST_CASE("resources_version_block") {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    REQUIRE(size > 0);
    std::vector<BYTE> data(size);
    REQUIRE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    CHECK(fixed->dwFileVersionMS == 0x000A0005u);
    CHECK(fixed->dwFileVersionLS == 0x00000008u);
    CHECK(fixed->dwProductVersionMS == 0x000A0005u);
    CHECK(fixed->dwProductVersionLS == 0x00000008u);
    CHECK(fixed->dwFileType == static_cast<DWORD>(VFT_APP));
    CHECK(fixed->dwFileOS == static_cast<DWORD>(VOS_NT_WINDOWS32));

    WORD* translation = nullptr;
    REQUIRE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length));
    REQUIRE(length == 4);
    CHECK(translation[0] == 0x0804);
    CHECK(translation[1] == 1200);

    for (const wchar_t* name : {L"InternalName", L"OriginalFilename"}) {
        CAPTURE(name);
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        REQUIRE(
            VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        CHECK(std::wstring(value) == L"Quillmend.exe");
    }
}

TEST_CASE("resources_manifest_text") {
    const UniqueModule program = LoadProgramAsData();
    const std::vector<BYTE> bytes =
        ResourceBytes(program.get(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), kEnglish);
    REQUIRE_FALSE(bytes.empty());
    const std::string text(bytes.begin(), bytes.end());
    CHECK(text.find("<requestedExecutionLevel level=\"requireAdministrator\" "
                    "uiAccess=\"false\"/>") != std::string::npos);
    CHECK(text.find(">true</dpiAware>") != std::string::npos);
}

TEST_CASE("resources_program_imports_system_only") {
    const UniqueModule program = LoadProgramAsData();
    const BYTE* base = ImageBase(program.get());
    const IMAGE_NT_HEADERS& nt = NtHeaders(base);
    CHECK(nt.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI);
    const IMAGE_DATA_DIRECTORY& directory =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    REQUIRE(directory.VirtualAddress != 0);

    std::vector<std::string> names;
    for (const auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name(reinterpret_cast<const char*>(base + entry->Name));
        for (char& ch : name) {
            ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        }
        names.push_back(name);
    }
    // Each a KnownDLL, loaded from the system folder whatever lies beside the program (gdi32
    // measures the preview's text).
    const std::vector<std::string> allowed = {"advapi32.dll", "gdi32.dll",   "kernel32.dll",
                                              "msvcrt.dll",   "shell32.dll", "user32.dll"};
    CHECK_FALSE(names.empty());
    for (const std::string& name : names) {
        CAPTURE(name);
        CHECK(std::find(allowed.begin(), allowed.end(), name) != allowed.end());
    }
}

TEST_CASE("resources_program_image_hardening") {
    const UniqueModule program = LoadProgramAsData();
    const IMAGE_NT_HEADERS& nt = NtHeaders(ImageBase(program.get()));
    const WORD flags = nt.OptionalHeader.DllCharacteristics;

    SUBCASE("ASLR, with the relocations it needs") {
        CHECK((flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) != 0);
        CHECK((nt.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) == 0);
        CHECK(nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size > 0);
#ifdef _WIN64
        CHECK((flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) != 0);
#endif
    }
    SUBCASE("NX and terminal-server aware") {
        CHECK((flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) != 0);
        CHECK((flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) != 0);
    }
    SUBCASE("the stack protector's handler is linked in, not imported") {
        // libssp's __stack_chk_fail comes in only when compiled code calls it.
        const std::string image = FileBytes(ProgramPath());
        CHECK(image.find("*** stack smashing detected ***") != std::string::npos);
    }
}
