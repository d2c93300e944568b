#pragma once

class ClickLabel;
class QAction;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeWidget;
class QWidget;
class TShockwaveFlashEx;

// The controls of the "Music Library" tab, by their design names.
struct MusicLibraryWidgets {
    QGroupBox* musicbox = nullptr;     // holds everything below
    QLineEdit* qedit = nullptr;        // search text
    QPushButton* Button4 = nullptr;    // "Find"
    QListWidget* genres_box = nullptr; // the 33 genres
    QTreeWidget* resultslist = nullptr;
    QMenu* PopupMenu4 = nullptr; // context menu of resultslist
    QAction* sourcesmenu = nullptr;
    QAction* SimilarTracksmenu = nullptr;
    QAction* SimilarArtistsmenu = nullptr;
    ClickLabel* morelbl = nullptr;   // "More Results"
    ClickLabel* Label12 = nullptr;   // "Back"
    QGroupBox* previewbox = nullptr; // "Preview", hidden at start; the conversion
                                     // controls go below flash1 (from y 276)
    TShockwaveFlashEx* flash1 = nullptr;
    QPushButton* Button7 = nullptr; // "X" closes the preview
};

// The genre tags of genres_box, in list order.
extern const char* const kGenres[33];

// Builds the tab's controls into `tabSheet` (the "Music Library" page) at their
// design places, sizes, captions and colours, and returns them. The widgets
// belong to `tabSheet`.
MusicLibraryWidgets BuildMusicLibraryForm(QWidget* tabSheet);
