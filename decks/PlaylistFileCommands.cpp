#include "decks/PlaylistFileCommands.h"

#include "decks/Playlist.h"
#include "decks/PlaylistFile.h"
#include "decks/PlaylistItems.h"
#include "platform/Dialogs.h"

#include <QFile>
#include <QPointer>

namespace {
dialogs::Request playlistDialog(const QString& title) {
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
    dialogs::getSaveFileName(
        playlistDialog(QObject::tr("Save")), parent,
        [list = QPointer<Playlist>(&playlist), parent](const QString& name) {
            if (name.isEmpty() || !list)
                return;
            if (!writePlaylistFile(QFile::encodeName(name).toStdString(), list->PathList))
                dialogs::showMessage(QStringLiteral("Error!"), parent);
        });
}

void loadPlaylistFile(Playlist& playlist, QWidget* parent) {
    playlist.PathList.clear();
    dialogs::Request request = playlistDialog(QObject::tr("Load"));
    request.multiSelect = true;
    dialogs::getOpenFileNames(
        request, parent, [list = QPointer<Playlist>(&playlist), parent](const QStringList& names) {
            if (names.isEmpty() || names.front().isEmpty() || !list)
                return;
            std::vector<std::string> lines;
            if (!readPlaylistFile(QFile::encodeName(names.front()).toStdString(), lines)) {
                dialogs::showMessage(QStringLiteral("Error!"), parent);
                return;
            }
            list->PathList = std::move(lines);
            list->list()->clear();
            for (const std::string& path : list->PathList)
                list->addFile(path);
        });
}
