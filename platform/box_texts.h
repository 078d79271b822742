#pragma once
// The boxes' fixed texts and captions, in GBK bytes whatever the thread's code page; written once
// for the run, its preview, the restore and the log's own refusal.

namespace qm {

inline constexpr char kSuccessText[] = "\xD7\xE9\xBC\xFE\xB7\xFE\xCE\xF1\xD0\xDE\xB8\xB4\xB3\xC9"
                                       "\xB9\xA6!";           // 组件服务修复成功!
inline constexpr char kNoticeCaption[] = "\xCC\xE1\xCA\xBE";  // 提示
inline constexpr char kErrorCaption[] = "\xB4\xED\xCE\xF3";   // 错误
inline constexpr char kPreviewCaption[] = "\xD4\xA4\xC0\xC0"; // 预览

} // namespace qm
