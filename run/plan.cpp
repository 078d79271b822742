// The boxes' fixed texts, written once for every plan.
#include "run/plan.h"

namespace qm {

const char kSuccessText[] = "\xD7\xE9\xBC\xFE\xB7\xFE\xCE\xF1\xD0\xDE\xB8\xB4\xB3\xC9\xB9\xA6"
                            "!";                   // 组件服务修复成功!
const char kNoticeCaption[] = "\xCC\xE1\xCA\xBE";  // 提示
const char kErrorCaption[] = "\xB4\xED\xCE\xF3";   // 错误
const char kPreviewCaption[] = "\xD4\xA4\xC0\xC0"; // 预览

} // namespace qm
