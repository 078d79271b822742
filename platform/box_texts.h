#pragma once
// The boxes' fixed texts and captions, written once for the run, its preview, the restore and the
// log's own refusal. Shown as Unicode, so that they read the same whatever the display language.

namespace qm {

inline constexpr wchar_t kSuccessText[] = L"组件服务修复成功!";
inline constexpr wchar_t kNoticeCaption[] = L"提示";
inline constexpr wchar_t kErrorCaption[] = L"错误";
inline constexpr wchar_t kPreviewCaption[] = L"预览";

// A check (/check): its caption, and the verdict above its list.
inline constexpr wchar_t kCheckCaption[] = L"检查";
inline constexpr wchar_t kCheckCurrent[] = L"检查: 本机已是最新, 无需运行";
inline constexpr wchar_t kCheckNotCurrent[] = L"检查: 本机需要更新, 运行将做下列修改";
inline constexpr wchar_t kCheckNothingFound[] = L"检查: 未找到任何安装";
inline constexpr wchar_t kCheckLeftOut[] =
    L"检查: 本机已是最新, 但有项目出于安全原因将被跳过 (见日志)";
inline constexpr wchar_t kCheckRefused[] = L"检查: 运行将失败: ";

// A payload that would break the suite, refused before anything is stopped. Dates are
// yyyy-mm-dd, UTC.
inline constexpr wchar_t kEmptyPayload[] = L"授权文件为空[%s], 未做任何修改";
inline constexpr wchar_t kKeyNotCertificates[] = L"私钥[%s]与证书[%s]不匹配, 未做任何修改";
inline constexpr wchar_t kCertificateExpired[] = L"证书已过期[%s], 有效期至%s, 未做任何修改";
inline constexpr wchar_t kCertificateNotYetValid[] = L"证书尚未生效[%s], 生效日期%s, 未做任何修改";
inline constexpr wchar_t kCertificateOlder[] =
    L"证书[%s]有效期至%s, 早于已安装证书[%s]的%s, 未做任何修改; 确需替换请使用 /allowolder";

} // namespace qm
