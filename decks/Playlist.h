#pragma once

#include "decks/PlaylistModel.h"
#include "decks/PlaylistTitleReader.h"

#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class QWidget;

// The playlist below the decks: adding sound files (dialog, drop, rebuild),
// moving and removing rows. The rows live in items(), which the window's list
// view shows, and the selected row in selection(), which the view shares;
// PathList is the list of paths the last rebuild or playlist load produced.
//
// Wiring in the main window: the "Add Tracks" menu items -> addTracks,
// "Remove" -> removeSelected, "Move (-)" -> moveUp, "Move (+)" -> moveDown,
// key presses on the list -> onViewKeyPress, dropped files -> addDroppedFiles.
class Playlist : public QObject {
    Q_OBJECT
public:
    // Messages (a refused file name) are shown over dialogParent.
    explicit Playlist(QWidget* dialogParent = nullptr);
    ~Playlist() override;

    // Appends one row for a path with a playable extension (MP3, FLAC, Ogg,
    // Opus, WAV, AIFF, M4A/AAC, in any case); the title comes from an MP3's
    // ID3v1 tag or another format's own tags ("Artist - Title"), else it is
    // the file name. Other formats' tags are read in the background: their
    // rows show the file name until then. A name holding a line break is refused with a message
    // naming it: a playlist file could not hold it. Returns false when the
    // path was not added.
    bool addFile(const std::string& path);

    void addTracks();
    void removeSelected();
    void moveUp();   // one place up
    void moveDown(); // one place down
    void onViewKeyPress(QChar key);

    // Files dropped from a file manager: existing regular files are added in
    // order, anything else (folders, vanished files) is skipped.
    void addDroppedFiles(const std::vector<std::string>& paths);

    // Rebuilds every row from its own path, reading each tag again.
    void refreshTitles();

    std::vector<std::string> PathList;

    PlaylistModel* list() { return &items_; }
    PlaylistModel& items() { return items_; }
    QItemSelectionModel& selection() { return selection_; }

    int count() const { return items_.count(); }
    // Throw std::out_of_range past the end.
    std::string pathAt(int i) const { return items_.at(i).path; }
    QString titleAt(int i) const { return items_.at(i).title; }
    int selectedIndex() const;
    void select(int i);
    // What the decks found when they last tried item i.
    void markPlayable(int i);
    void markUnplayable(int i, const QString& reason);

private:
    struct FirstTitle {
        QString title;
        bool readTags = false; // the title follows from the tags, later
    };
    // The title addFile first gives a path's row, or nothing when it adds no row.
    static std::optional<FirstTitle> rowTitle(const std::string& path);
    // Rows for the paths that have a title, their tags asked for.
    void appendRows(const std::vector<std::string>& paths);

    PlaylistModel items_;
    PlaylistTitleReader titles_{items_};
    QItemSelectionModel selection_{&items_};
    QWidget* dialogParent;
};

// The title a playlist row shows for a file: artist + " - " + title from the
// tag, each without trailing blanks or control characters; nothing when the
// file has no tag; throws when the file cannot be opened.
std::optional<QString> trackTitleFromTag(const std::string& path);

// The text after the last "/" of a path.
std::string fileNamePart(const std::string& path);
