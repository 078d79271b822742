#pragma once
// The boxes' fixed texts and captions, written once for the run, its preview, the restore and the
// log's own refusal. Shown as Unicode, so that they read the same whatever the display language.

namespace qm {

inline constexpr wchar_t kSuccessText[] = L"组件服务修复成功!";
inline constexpr wchar_t kNoticeCaption[] = L"提示";
inline constexpr wchar_t kErrorCaption[] = L"错误";
inline constexpr wchar_t kPreviewCaption[] = L"预览";

} // namespace qm
