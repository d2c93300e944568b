#include "app/SessionPlaylist.h"

#include "app/AppLog.h"
#include "decks/Playlist.h"
#include "decks/PlaylistFile.h"
#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string>
#include <vector>

SessionPlaylist::SessionPlaylist(Playlist& playlist, QString file, QObject* parent)
    : QObject(parent)
    , playlist_(playlist)
    , file_(std::move(file)) {
    writer_.setMaxThreadCount(1);
    debounce_.setSingleShot(true);
    debounce_.setInterval(500);
    connect(&debounce_, &QTimer::timeout, this, &SessionPlaylist::Write);
    QAbstractItemModel* items = &playlist_.Items();
    connect(items, &QAbstractItemModel::rowsInserted, this, &SessionPlaylist::Changed);
    connect(items, &QAbstractItemModel::rowsRemoved, this, &SessionPlaylist::Changed);
    connect(items, &QAbstractItemModel::rowsMoved, this, &SessionPlaylist::Changed);
    connect(items, &QAbstractItemModel::modelReset, this, &SessionPlaylist::Changed);
}

SessionPlaylist::~SessionPlaylist() {
    if (debounce_.isActive())
        Write();
    writer_.waitForDone();
}

QString SessionPlaylist::DefaultFile() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Kolvadeck/playlist.kvd");
}

void SessionPlaylist::Restore() {
    std::vector<std::string> paths;
    // A few KB: one read at start-up.
    if (!ReadPlaylistFile(QFile::encodeName(file_).toStdString(), paths))
        return;
    restoring_ = true;
    for (const std::string& path : paths)
        if (!path.empty())
            playlist_.addFile(path);
    restoring_ = false;
}

void SessionPlaylist::Changed() {
    if (!restoring_)
        debounce_.start();
}

void SessionPlaylist::Write() {
    debounce_.stop();
    std::vector<std::string> paths;
    paths.reserve(std::size_t(playlist_.Count()));
    for (int i = 0; i < playlist_.Count(); ++i)
        paths.push_back(playlist_.PathAt(i));
    const std::string file = QFile::encodeName(file_).toStdString();
    const QString folder = QFileInfo(file_).absolutePath();
    writer_.start([file, folder, paths = std::move(paths)] {
        // Private whatever the umask: the list says what the user plays. The
        // writer keeps the mode of the file it replaces.
        shell::CreatePrivateFolder(QFile::encodeName(folder).toStdString());
        shell::MakePrivateFile(file);
        if (!WritePlaylistFile(file, paths))
            qCWarning(lcApp, "cannot keep the playlist in %s", file.c_str());
    });
}
