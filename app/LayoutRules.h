#pragma once

// The window's layout rules, computed on plain integers so that they hold
// exactly as written also where they give zero or negative sizes. Every
// division truncates towards zero and is taken of each operand separately.
struct LayoutInput {
    int windowWidth = 0, windowHeight = 0; // outer size of the window
    int resultslistLeft = 0, morelblWidth = 0;
    int previewboxWidth = 0, previewboxHeight = 0;
    int playerbox1Height = 0, playerbox2Width = 0, mixerboxWidth = 0;
    int listViewLeft = 0;
    int playerbox1Width = 0; // read only by MinimumWindowSize
};

struct LayoutResult {
    int pageWidth = 0, pageHeight = 0;
    int listViewWidth = 0, listViewTop = 0, listViewHeight = 0;
    int fileColumnWidth = 0, trackColumnWidth = 0;
    int musicboxWidth = 0;
    int resultslistWidth = 0, resultsColumn0Width = 0;
    int morelblLeft = 0;
    int previewboxLeft = 0, previewboxTop = 0;
    int playerbox1Top = 0, playerbox2Top = 0, playerbox1Left = 0, playerbox2Left = 0;
    int mixerboxLeft = 0;
};

LayoutResult computeLayout(const LayoutInput& in);

// The smallest height the list keeps below the decks: its header and a few rows.
inline constexpr int kMinListViewHeight = 100;

struct WindowSize {
    int width = 0, height = 0;
};

// The smallest outer window size at which the rules above place nothing over
// anything else on the "Playlist" page: the mixer panel clear of both decks
// and the list below them at least kMinListViewHeight high. The window size
// given in `in` is not read.
WindowSize minimumWindowSize(LayoutInput in);
