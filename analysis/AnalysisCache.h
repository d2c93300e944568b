#pragma once

#include "analysis/LoudnessAnalysis.h"

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace analysis {

// What identifies one version of a file: a result measured on another size or
// modification time is stale.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The file's stamp now; nothing when it cannot be stat'ed.
std::optional<FileStamp> stampOf(const std::string& path);

// The per-user store of analysis results, one JSON file keyed by path and
// checked against size and modification time. A missing, unreadable or
// damaged store counts as empty and is rewritten whole by the next Store;
// writes go to a temporary file renamed over the old one, so a crash leaves
// the old or the new store, never a torn one. Failures to write are ignored
// (the track is analysed again next time). Thread-safe; Find and Store read
// and write files, so they belong on a worker, not the window's thread.
class AnalysisCache {
public:
    explicit AnalysisCache(QString file = defaultFile());

    // <XDG cache folder>/Kolvadeck/analysis.json (~/.cache/Kolvadeck/ by default).
    static QString defaultFile();
    const QString& file() const { return file_; }

    // The stored result for the file as it is now on disk.
    std::optional<LoudnessResult> find(const std::string& path);
    // Records a result measured on the file as it was when stamped.
    void store(const std::string& path, const FileStamp& stamp, const LoudnessResult& result);

private:
    void loadOnce();

    QString file_;
    std::mutex mutex_;
    bool loaded_ = false;
    bool madePrivate_ = false; // its folder 0700 and file 0600, once a run
    QJsonObject tracks_;
};

} // namespace analysis
