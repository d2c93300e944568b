#pragma once

#include "platform/BackgroundTask.h"

#include <QObject>
#include <QtGlobal>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class PlaylistModel;

// Names playlist rows from their files' tags off the window's thread: a row
// shows its file name at once and its "Artist - Title" once the tags are
// read. Rows are read in batches by one background task at a time, in the
// order asked: the first batch is small, so that the top of a drop of
// thousands of files is named at once, and each next one twice as large, so
// that the whole drop costs few hand-backs. An answer goes to the row with
// the same id wherever it has moved, and is dropped when that row is gone.
class PlaylistTitleReader {
public:
    explicit PlaylistTitleReader(PlaylistModel& rows);
    ~PlaylistTitleReader();

    static constexpr std::size_t kFirstBatch = 64;
    static constexpr std::size_t kLargestBatch = 4096;

    void request(quint64 rowId, std::string path);

private:
    using Batch = std::vector<std::pair<quint64, std::string>>;
    using Titles = std::vector<std::pair<quint64, QString>>;

    void readNext();
    void apply(const Titles& titles);

    PlaylistModel& rows_;
    std::deque<std::pair<quint64, std::string>> pending_;
    bool reading_ = false;
    std::size_t batchSize_ = kFirstBatch;
    QObject context_; // the queued flush dies with the reader
    std::vector<std::unique_ptr<BackgroundTask>> tasks_;
};
