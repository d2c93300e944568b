#pragma once

#include <QObject>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class QTreeWidget;
class QWidget;

// The playlist below the decks: adding MP3 files (dialog, drop, rebuild),
// moving and removing rows. Rows live in the list widget itself; PathList is
// the list of paths the last rebuild or playlist load produced.
//
// Wiring in the main window: the "Add Tracks" menu items -> AddTracks1Click,
// "Remove" -> remove1Click, "Move (-)" -> Move1Click, "Move (+)" -> Move2Click,
// key presses on the list -> ListView1KeyPress, dropped files -> WMDROPFILES.
class TPlaylist : public QObject {
    Q_OBJECT
public:
    TPlaylist(QTreeWidget* listView, QWidget* dialogParent);

    // Appends one row for a path ending in ".mp3" (exactly, lower case); the
    // title comes from the file's ID3v1 tag, or is the file name when the file
    // cannot be read. Returns false when the path was not added.
    bool AddFile(const std::string& path);

    void AddTracks1Click();
    void AddTracks2Click() { AddTracks1Click(); }
    void remove1Click();
    void Move1Click(); // one place up
    void Move2Click(); // one place down
    void ListView1KeyPress(QChar key);

    // Files dropped from a file manager: existing regular files are added in
    // order, anything else (folders, vanished files) is skipped.
    void WMDROPFILES(const std::vector<std::string>& paths);

    // Rebuilds every row from its own path, reading each tag again.
    void update_tracklist();

    std::vector<std::string> PathList;

    QTreeWidget* list() const { return ListView1; }

private:
    // The title AddFile gives a path's row, or nothing when it adds no row.
    static std::optional<QString> RowTitle(const std::string& path);

    QTreeWidget* ListView1;
    QWidget* dialogParent;
};

// The title a playlist row shows for a file: artist + " - " + title from the
// tag, each without trailing blanks or control characters; nothing when the
// file has no tag; throws when the file cannot be opened.
std::optional<QString> TrackTitleFromTag(const std::string& path);

// The text after the last "/" of a path.
std::string FileNamePart(const std::string& path);
