#include "app/LayoutRules.h"

LayoutResult computeLayout(const LayoutInput& in) {
    LayoutResult r;
    r.pageWidth = in.windowWidth - 30;
    r.pageHeight = in.windowHeight - 60;
    r.listViewWidth = r.pageWidth - 20;
    r.musicboxWidth = r.pageWidth - 20;
    r.resultslistWidth = r.musicboxWidth - in.resultslistLeft - 10;
    r.resultsColumn0Width = r.resultslistWidth - 20;
    r.morelblLeft = r.pageWidth - in.morelblWidth - 30;
    r.previewboxLeft = in.windowWidth / 2 - in.previewboxWidth / 2;
    r.previewboxTop = in.windowHeight / 2 - in.previewboxHeight / 2;
    r.fileColumnWidth = 0;
    r.trackColumnWidth = r.listViewWidth - 20;
    r.playerbox1Top = 10;
    r.playerbox2Top = 10;
    r.playerbox1Left = in.listViewLeft;
    r.playerbox2Left = r.listViewWidth - in.playerbox2Width;
    r.mixerboxLeft = r.listViewWidth / 2 - in.mixerboxWidth / 2;
    r.listViewTop = in.playerbox1Height + 20;
    r.listViewHeight = r.pageHeight - in.playerbox1Height - 50;
    return r;
}

WindowSize minimumWindowSize(LayoutInput in) {
    // Every rule grows with the window, so the first size that fits is the
    // least; the search stops at a size no screen has.
    constexpr int kLargest = 1 << 15;
    auto decksClear = [&in] {
        const LayoutResult r = computeLayout(in);
        return r.playerbox1Left + in.playerbox1Width <= r.mixerboxLeft &&
               r.mixerboxLeft + in.mixerboxWidth <= r.playerbox2Left;
    };
    for (in.windowWidth = 0; in.windowWidth < kLargest && !decksClear(); ++in.windowWidth) {
    }
    for (in.windowHeight = 0;
         in.windowHeight < kLargest && computeLayout(in).listViewHeight < kMinListViewHeight;
         ++in.windowHeight) {
    }
    return {in.windowWidth, in.windowHeight};
}
