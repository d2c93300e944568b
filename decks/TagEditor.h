#pragma once

#include "decks/tags/Id3v1Tag.h"

#include <QObject>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class Playlist;

// The "ID3 Information" box: shows the tag of the selected playlist row and
// writes the edited artist, title, album and year back into an MP3 file's
// ID3v1 tag; other formats' tags are shown read only, with a note why. The box
// is not modal; it builds itself (hidden) into the playlist page and connects
// its own buttons.
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
    QLineEdit *id3artist, *id3title, *id3album, *id3year, *id3genre;
    QPushButton *applyButton, *cancelButton;
    QLabel* note; // says why the tags of a file other than MP3 cannot be edited

private:
    void ShowReadOnlyTags(const std::string& path);
    Playlist& playlist;
};
