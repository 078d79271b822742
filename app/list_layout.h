#pragma once
// How big the list dialog opens. No Windows API here.

namespace qm {

struct Extent {
    int width = 0;
    int height = 0;
};

// The list's text whole where the screen allows, else 80% of the monitor's work area in either
// direction (it can be made larger by hand); never below the template's size unless the work area
// itself is smaller. chrome is what the dialog needs around the list's text.
Extent ListDialogExtent(Extent text, Extent chrome, Extent minimum, Extent workArea);

} // namespace qm
