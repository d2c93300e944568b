#include "app/MprisPlaylistFiles.h"

#include "decks/Playlist.h"

#include <QFile>

MprisPlaylistFiles::MprisPlaylistFiles(QObject* exported, Playlist& playlist,
                                       std::function<void()> raise)
    : QDBusAbstractAdaptor(exported)
    , playlist_(playlist)
    , raise_(std::move(raise)) {}

int MprisPlaylistFiles::AddFiles(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(QFile::encodeName(path).toStdString());
    const int before = playlist_.count();
    playlist_.addDroppedFiles(files);
    raise_();
    return playlist_.count() - before;
}
