#include "decks/PlaylistFileCommands.h"

#include "decks/Playlist.h"
#include "decks/PlaylistFile.h"
#include "decks/PlaylistItems.h"
#include "platform/Dialogs.h"

#include <QFile>

namespace {
dialogs::Request PlaylistDialog(const QString& title) {
    dialogs::Request request;
    request.title = title;
    request.filter = QStringLiteral("*.kvd");
    request.defaultSuffix = QStringLiteral("kvd");
    request.fileName = QStringLiteral("*.kvd");
    request.folderKey = QStringLiteral("playlists");
    return request;
}
} // namespace

void savePlaylistFile(Playlist& playlist, QWidget* parent) {
    playlist.refreshTitles();
    const QString name = dialogs::GetSaveFileName(PlaylistDialog(QObject::tr("Save")), parent);
    if (name.isEmpty())
        return;
    if (!WritePlaylistFile(QFile::encodeName(name).toStdString(), playlist.PathList))
        dialogs::ShowMessage(QStringLiteral("Error!"), parent);
}

void loadPlaylistFile(Playlist& playlist, QWidget* parent) {
    playlist.PathList.clear();
    dialogs::Request request = PlaylistDialog(QObject::tr("Load"));
    request.multiSelect = true;
    const QStringList names = dialogs::GetOpenFileNames(request, parent);
    if (names.isEmpty() || names.front().isEmpty())
        return;
    std::vector<std::string> lines;
    if (!ReadPlaylistFile(QFile::encodeName(names.front()).toStdString(), lines)) {
        dialogs::ShowMessage(QStringLiteral("Error!"), parent);
        return;
    }
    playlist.PathList = std::move(lines);
    playlist.list()->Clear();
    for (const std::string& path : playlist.PathList)
        playlist.addFile(path);
}
