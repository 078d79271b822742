// The list dialog's opening size.
#include "app/list_layout.h"

#include <algorithm>

namespace qm {

namespace {

constexpr long long kScreenSharePercent = 80;

int Fit(int text, int chrome, int minimum, int work) {
    const int cap = static_cast<int>(work * kScreenSharePercent / 100);
    return std::max(std::min(text + chrome, cap), std::min(minimum, work));
}

} // namespace

Extent ListDialogExtent(Extent text, Extent chrome, Extent minimum, Extent workArea) {
    return {Fit(text.width, chrome.width, minimum.width, workArea.width),
            Fit(text.height, chrome.height, minimum.height, workArea.height)};
}

} // namespace qm
