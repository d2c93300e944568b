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
class VideoPreview;

// The controls of the "Music Library" tab, by their design names.
struct MusicLibraryWidgets {
    QGroupBox* musicbox = nullptr;       // holds everything below
    QLineEdit* searchBox = nullptr;      // search text
    QPushButton* findButton = nullptr;   // "Find"
    QListWidget* genresList = nullptr;   // the 33 genres
    QTreeWidget* resultsList = nullptr;  // a ResultsTree
    QMenu* resultsContextMenu = nullptr; // context menu of resultsList
    QAction* sourcesAction = nullptr;
    QAction* similarTracksAction = nullptr;
    QAction* similarArtistsAction = nullptr;
    QAction* addToPlaylistAction = nullptr; // shown for a row of a local file
    ClickLabel* moreLabel = nullptr;        // "More Results"
    ClickLabel* backLabel = nullptr;        // "Back"
    QGroupBox* previewbox = nullptr;        // "Preview", hidden at start; the conversion
                                            // controls go below previewPlayer (from y 276)
    VideoPreview* previewPlayer = nullptr;
    QPushButton* closePreviewButton = nullptr; // "X" closes the preview
};

// The genre tags of genresList, in list order.
extern const char* const kGenres[33];

// Builds the tab's controls into `tabSheet` (the "Music Library" page) at their
// design places, sizes, captions and colours, and returns them. The widgets
// belong to `tabSheet`.
MusicLibraryWidgets buildMusicLibraryForm(QWidget* tabSheet);
