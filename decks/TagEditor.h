#pragma once

#include "decks/tags/Id3v1Tag.h"

#include <QObject>
#include <optional>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class Playlist;

// The "ID3 Information" box: shows the tag of the selected playlist row and
// writes the edited artist, title, album, year and genre back into an MP3
// file's ID3v1 tag; other formats' tags are shown read only, with a note why.
// The box is not modal; it builds itself (hidden) into the playlist page and
// connects its own buttons.
//
// "Update" writes the file the box was opened on, whichever row is selected
// by then. It refuses, and says why, when no row holds that file any more or
// when the file changed on disk after its tag was read. The fields take no
// more characters than the tag holds, and the genre is chosen from the
// standard list.
class TagEditor : public QObject {
    Q_OBJECT
public:
    TagEditor(QWidget* page, Playlist& playlist);

    // "ID3 Information": places the box centred on a window of this width,
    // shows it and fills it from the selected row's file.
    void showForSelected(int windowWidth);
    void apply();  // "Update"
    void cancel(); // "Cancel"

    ID3Tag EditedTag;

    QGroupBox* id3box;
    QLineEdit *id3artist, *id3title, *id3album, *id3year;
    QComboBox* id3genre; // item data: the genre number
    QPushButton *applyButton, *cancelButton;
    QLabel* note; // says why the tag shown cannot be edited

private:
    void showReadOnlyTags(const std::string& path);
    void setEditable(bool editable, const QString& why);
    void showGenre(int number, const QString& name);
    bool listed(const std::string& path) const;
    void write();

    Playlist& playlist;
    std::string openedPath_;          // the file the box shows
    std::optional<FileStamp> opened_; // its state when its tag was read
};
