#include "app/SessionPlaylist.h"

#include "app/AppLog.h"
#include "decks/Playlist.h"
#include "decks/PlaylistFile.h"
#include "platform/Shell.h"
#include "platform/Workers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Each write carries its number; one that finds a newer one already on disk
// leaves it, so writes land in order whichever worker runs them.
struct SessionPlaylist::Writes {
    std::uint64_t next = 0; // window's thread
    std::mutex writing;     // held by the write in progress
    std::uint64_t written = 0;
    std::mutex mutex; // held only briefly, also by the window's thread
    std::condition_variable idle;
    int running = 0;
};

SessionPlaylist::SessionPlaylist(Playlist& playlist, QString file, QObject* parent)
    : QObject(parent)
    , playlist_(playlist)
    , file_(std::move(file))
    , writes_(std::make_shared<Writes>()) {
    debounce_.setSingleShot(true);
    debounce_.setInterval(500);
    connect(&debounce_, &QTimer::timeout, this, &SessionPlaylist::write);
    QAbstractItemModel* items = &playlist_.items();
    connect(items, &QAbstractItemModel::rowsInserted, this, &SessionPlaylist::changed);
    connect(items, &QAbstractItemModel::rowsRemoved, this, &SessionPlaylist::changed);
    connect(items, &QAbstractItemModel::rowsMoved, this, &SessionPlaylist::changed);
    connect(items, &QAbstractItemModel::modelReset, this, &SessionPlaylist::changed);
}

SessionPlaylist::~SessionPlaylist() {
    if (debounce_.isActive())
        write();
    std::unique_lock lock(writes_->mutex);
    // wait-ok: shutting down; a write of a few KB
    writes_->idle.wait(lock, [this] { return writes_->running == 0; });
}

QString SessionPlaylist::defaultFile() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Kolvadeck/playlist.kvd");
}

void SessionPlaylist::restore() {
    std::vector<std::string> paths;
    // A few KB: one read at start-up.
    if (!readPlaylistFile(QFile::encodeName(file_).toStdString(), paths))
        return;
    restoring_ = true;
    for (const std::string& path : paths)
        if (!path.empty())
            playlist_.addFile(path);
    restoring_ = false;
}

void SessionPlaylist::changed() {
    if (!restoring_)
        debounce_.start();
}

void SessionPlaylist::write() {
    debounce_.stop();
    std::vector<std::string> paths;
    paths.reserve(std::size_t(playlist_.count()));
    for (int i = 0; i < playlist_.count(); ++i)
        paths.push_back(playlist_.pathAt(i));
    const std::string file = QFile::encodeName(file_).toStdString();
    const QString folder = QFileInfo(file_).absolutePath();
    const std::uint64_t number = ++writes_->next;
    {
        std::lock_guard lock(writes_->mutex);
        ++writes_->running;
    }
    workers::run([writes = writes_, number, file, folder, paths = std::move(paths)] {
        {
            std::lock_guard writing(writes->writing);
            if (number > writes->written) {
                writes->written = number;
                // Private whatever the umask: the list says what the user
                // plays. The writer keeps the mode of the file it replaces.
                shell::createPrivateFolder(QFile::encodeName(folder).toStdString());
                shell::makePrivateFile(file);
                if (!writePlaylistFile(file, paths))
                    qCWarning(lcApp, "cannot keep the playlist in %s", file.c_str());
            }
        }
        std::lock_guard lock(writes->mutex);
        if (--writes->running == 0)
            writes->idle.notify_all();
    });
}
