#include "decks/PlaylistFileCommands.h"

#include "decks/Playlist.h"
#include "decks/PlaylistFile.h"
#include "decks/PlaylistItems.h"
#include "platform/Dialogs.h"

#include <QFile>
#include <QPointer>

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
    dialogs::GetSaveFileName(
        PlaylistDialog(QObject::tr("Save")), parent,
        [list = QPointer<Playlist>(&playlist), parent](const QString& name) {
            if (name.isEmpty() || !list)
                return;
            if (!WritePlaylistFile(QFile::encodeName(name).toStdString(), list->PathList))
                dialogs::ShowMessage(QStringLiteral("Error!"), parent);
        });
}

void loadPlaylistFile(Playlist& playlist, QWidget* parent) {
    playlist.PathList.clear();
    dialogs::Request request = PlaylistDialog(QObject::tr("Load"));
    request.multiSelect = true;
    dialogs::GetOpenFileNames(
        request, parent, [list = QPointer<Playlist>(&playlist), parent](const QStringList& names) {
            if (names.isEmpty() || names.front().isEmpty() || !list)
                return;
            std::vector<std::string> lines;
            if (!ReadPlaylistFile(QFile::encodeName(names.front()).toStdString(), lines)) {
                dialogs::ShowMessage(QStringLiteral("Error!"), parent);
                return;
            }
            list->PathList = std::move(lines);
            list->list()->Clear();
            for (const std::string& path : list->PathList)
                list->addFile(path);
        });
}
