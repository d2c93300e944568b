#pragma once

#include "platform/BackgroundTask.h"

#include <QObject>
#include <QtGlobal>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class PlaylistModel;

// Names playlist rows from their files' tags off the window's thread: a row
// shows its file name at once and its "Artist - Title" once the tags are
// read. Rows asked for in one turn of the event loop are read together by
// one background task; an answer goes to the row with the same id wherever
// it has moved, and is dropped when that row is gone.
class PlaylistTitleReader {
public:
    explicit PlaylistTitleReader(PlaylistModel& rows);
    ~PlaylistTitleReader();

    void Request(quint64 rowId, std::string path);

private:
    using Batch = std::vector<std::pair<quint64, std::string>>;
    using Titles = std::vector<std::pair<quint64, QString>>;

    void Flush();
    void Apply(const Titles& titles);

    PlaylistModel& rows_;
    Batch pending_;
    QObject context_; // the queued flush dies with the reader
    std::vector<std::unique_ptr<BackgroundTask>> tasks_;
};
