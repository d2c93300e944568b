#pragma once

#include "platform/BackgroundTask.h"

#include <QDateTime>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <string>

// The tracks heard for more than kMinimumSeconds, kept in a CSV file in the
// program's data folder: when each began, its file, artist, title and the
// seconds heard, the rows a station's royalty report is made of. Appending
// (with the tags read for it) and exporting run on one background task at a
// time, in the order asked, so the window's thread never touches the file.
class PlayHistory {
public:
    static constexpr int kMinimumSeconds = 30;
    static constexpr const char* kHeader = "time,file,artist,title,seconds";

    // An empty file name keeps no history (the data folder is missing).
    explicit PlayHistory(QString file);
    ~PlayHistory();

    void record(const QDateTime& began, const std::string& path, int secondsHeard);
    // Writes the header and every row to target; done gets an empty text or
    // why it failed, on the window's thread.
    void exportTo(const QString& target, std::function<void(const QString& error)> done);

    // One CSV field (RFC 4180). Text that a spreadsheet would run as a formula
    // (starting with = + - @) is kept as text by a leading apostrophe: the
    // tags come from files anyone could have made.
    static QString csvField(const QString& text);

private:
    using Job = std::function<QString()>; // runs on the worker; the error or empty
    void run(Job job, std::function<void(const QString&)> done);
    void runNext();

    const QString file_;
    std::deque<std::pair<Job, std::function<void(const QString&)>>> jobs_;
    std::unique_ptr<BackgroundTask> task_;
};
