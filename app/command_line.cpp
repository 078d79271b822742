// Parsing the command line into options, the usage text, and whether boxes are shown.
#include "app/command_line.h"

namespace qm {

namespace {

std::wstring Lowered(const std::wstring& text) {
    std::wstring lowered = text;
    for (wchar_t& unit : lowered) {
        // Switch names are ASCII; other units are left alone so no locale plays a part.
        if (unit >= L'A' && unit <= L'Z') {
            unit = static_cast<wchar_t>(unit - L'A' + L'a');
        }
    }
    return lowered;
}

bool IsSwitch(const std::wstring& argument) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
}

// The name of a switch without its "/" or "-" and without any ":value", lowered; value gets
// what follows the first ':' and hasValue says whether there was one.
std::wstring SwitchName(const std::wstring& argument, std::wstring& value, bool& hasValue) {
    const std::wstring body = argument.substr(1);
    const size_t colon = body.find(L':');
    hasValue = colon != std::wstring::npos;
    value = hasValue ? body.substr(colon + 1) : std::wstring();
    return Lowered(hasValue ? body.substr(0, colon) : body);
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    ParsedCommandLine parsed;
    Options& options = parsed.options;
    options.hasArguments = !arguments.empty();
    // The first argument not understood is named; the rest are still read, so that a /quiet
    // after it keeps the usage from being shown.
    const auto refuse = [&](const std::wstring& argument) {
        if (parsed.understood) {
            parsed.understood = false;
            parsed.offending = argument;
        }
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!IsSwitch(argument)) {
            refuse(argument);
            continue;
        }
        std::wstring value;
        bool hasValue = false;
        const std::wstring name = SwitchName(argument, value, hasValue);
        if (name == L"quiet" && !hasValue) {
            options.quiet = true;
        } else if (name == L"preview" && !hasValue) {
            options.preview = true;
        } else if (name == L"check" && !hasValue) {
            options.check = true;
        } else if (name == L"allusers" && !hasValue) {
            options.allUsers = true;
        } else if (name == L"allowolder" && !hasValue) {
            options.allowOlder = true;
        } else if ((name == L"?" || name == L"help") && !hasValue) {
            options.help = true;
        } else if (name == L"log" || name == L"json") {
            // One of each per run; "/log:" with nothing after it names no file.
            bool& asked = name == L"log" ? options.log : options.json;
            std::wstring& path = name == L"log" ? options.logPath : options.jsonPath;
            if (asked || (hasValue && value.empty())) {
                refuse(argument);
                continue;
            }
            asked = true;
            if (hasValue) {
                path = value;
            } else if (i + 1 < arguments.size() && !IsSwitch(arguments[i + 1])) {
                path = arguments[++i];
            }
        } else if (name == L"restore") {
            if (options.restore || (hasValue && value.empty())) {
                refuse(argument);
                continue;
            }
            options.restore = true;
            options.restoreStamp = value;
        } else {
            refuse(argument);
        }
    }
    // A check asks about the update; a restore has no "current" to check against.
    if (options.check && options.restore) {
        refuse(L"/check");
    }
    return parsed;
}

bool IsDesktopVisible(const DesktopFacts& facts) {
    constexpr uint32_t kServicesSession = 0;
    if (facts.stationKnown && !facts.stationVisible) {
        return false;
    }
    return !(facts.sessionKnown && facts.session == kServicesSession);
}

bool ShouldShowBoxes(bool quiet, bool desktopVisible) {
    return !quiet && desktopVisible;
}

std::wstring UsageText(const std::wstring& offending) {
    std::wstring text;
    if (!offending.empty()) {
        text += L"无法识别的参数: " + offending + L"\n\n";
    }
    text += L"Quillmend.exe [/quiet] [/log[:PATH]] [/json[:PATH]] [/preview] [/check]\n"
            L"              [/allusers] [/allowolder] [/restore[:STAMP]] [/?]\n"
            L"\n"
            L"  (无参数)        更新授权文件并显示结果, 与以往相同\n"
            L"  /quiet          不显示任何对话框, 以退出码报告结果\n"
            L"  /log[:PATH]     把运行记录追加到 PATH\n"
            L"                  (默认 %ProgramData%\\Quillmend\\Quillmend.log)\n"
            L"  /json[:PATH]    把本次运行的 JSON 记录写入 PATH\n"
            L"                  (默认 %ProgramData%\\Quillmend\\last.json)\n"
            L"  /preview        只列出将要做的事, 不做任何修改\n"
            L"  /check          检查本机是否已是最新, 不做任何修改 (退出码 5: 需要更新)\n"
            L"  /allusers       更新本机每个用户的用户目录 (以 SYSTEM 运行时总是如此)\n"
            L"  /allowolder     允许用有效期更早结束的证书替换已安装的证书\n"
            L"  /restore[:STAMP] 恢复最新的(或指定的)备份\n"
            L"  /? , /help      显示本说明\n"
            L"\n"
            L"退出码: 0 完成, 2 未找到安装, 3 文件已部署但程序未能重新启动,\n"
            L"        4 已部署但有项目出于安全原因被跳过 (见日志), 5 (/check) 需要更新,\n"
            L"        1 出错, 87 参数无法识别";
    return text;
}

} // namespace qm
