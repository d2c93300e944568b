#include "analysis/AnalysisWorker.h"

#include "analysis/AnalysisCache.h"
#include "analysis/AnalysisLog.h"
#include "analysis/FileTags.h"
#include "analysis/ReplayGainTag.h"
#include "analysis/TrackGain.h"

#include <QFile>
#include <algorithm>
#include <exception>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace analysis {

namespace {

QString toQString(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The calling thread only: SCHED_IDLE runs it when nothing else wants a
// core; nice 19 covers systems that refuse SCHED_IDLE. Failures leave the
// default priority (the analysis still works, only less politely).
void lowerThisThreadsPriority() {
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    setpriority(PRIO_PROCESS, id_t(gettid()), 19);
}

} // namespace

AnalysisWorker::AnalysisWorker(AnalysisCache& cache, QObject* parent)
    : QObject(parent)
    , cache_(cache) {
    qRegisterMetaType<analysis::LoudnessResult>();
}

void AnalysisWorker::report(std::function<void()> emitSignal) {
    results_.send(std::move(emitSignal));
}

AnalysisWorker::~AnalysisWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void AnalysisWorker::start() {
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void AnalysisWorker::enqueue(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (!queued_.insert(path).second)
            return;
        lookQueue_.push_back(path);
    }
    wake_.notify_one();
}

void AnalysisWorker::putFirst(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        urgent_.insert(path);
        if (queued_.insert(path).second) {
            lookQueue_.push_front(path);
        } else if (const auto at = std::find(queue_.begin(), queue_.end(), path);
                   at != queue_.end()) {
            queue_.erase(at);
            queue_.push_front(path);
            urgent_.erase(path);
        } else if (const auto waiting = std::find(lookQueue_.begin(), lookQueue_.end(), path);
                   waiting != lookQueue_.end()) {
            lookQueue_.erase(waiting);
            lookQueue_.push_front(path);
        } // else in its look right now: it goes first when that ends
    }
    wake_.notify_one();
}

std::size_t AnalysisWorker::waiting() const {
    std::lock_guard lock(mutex_);
    return lookQueue_.size() + queue_.size();
}

void AnalysisWorker::run() {
    threadId_ = gettid();
    lowerThisThreadsPriority();
    for (;;) {
        std::string path;
        bool look = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !lookQueue_.empty() || !queue_.empty(); });
            if (stop_)
                return;
            look = !lookQueue_.empty();
            std::deque<std::string>& from = look ? lookQueue_ : queue_;
            path = std::move(from.front());
            from.pop_front();
            if (!look)
                queued_.erase(path);
        }
        if (!look) {
            analyseOne(path);
            continue;
        }
        const bool analyse = lookAt(path);
        std::lock_guard lock(mutex_);
        const bool urgent = urgent_.erase(path) > 0;
        if (!analyse)
            queued_.erase(path);
        else if (urgent)
            queue_.push_front(std::move(path));
        else
            queue_.push_back(std::move(path));
    }
}

void AnalysisWorker::reportNotFound(const std::string& path) {
    report([this, path = toQString(path)] {
        emit failed(path, QStringLiteral("The file was not found: ") + path);
    });
}

bool AnalysisWorker::lookAt(const std::string& path) {
    if (std::optional<LoudnessResult> cached = cache_.find(path)) {
        report([this, path = toQString(path), result = *cached] { emit analysed(path, result); });
        return false;
    }
    if (!stampOf(path)) {
        reportNotFound(path);
        return false;
    }
    if (const std::optional<ReplayGain> tag = replayGainTag(path))
        report([this, path = toQString(path), gain = tagGainDb(tag->gainDb, tag->peakDbfs)] {
            emit tagGainRead(path, gain);
        });
    return true;
}

void AnalysisWorker::analyseOne(const std::string& path) {
    // The file may have changed since its look, or been analysed meanwhile.
    if (std::optional<LoudnessResult> cached = cache_.find(path)) {
        report([this, path = toQString(path), result = *cached] { emit analysed(path, result); });
        return;
    }
    const std::optional<FileStamp> stamp = stampOf(path);
    if (!stamp) {
        reportNotFound(path);
        return;
    }
    try {
        LoudnessResult result = analyseLoudness(path, &stop_);
        // What places the track in an album, for joining its parts.
        if (const std::optional<FileTags> tags = readFileTags(path)) {
            result.album = tags->album.toStdString();
            result.artist = tags->artist.toStdString();
            result.trackNumber = tags->track;
        }
        cache_.store(path, *stamp, result);
        report([this, path = toQString(path), result] { emit analysed(path, result); });
    } catch (const AnalysisCancelled&) {
    } catch (const std::exception& e) {
        qCInfo(lcAnalysis, "cannot analyse %s: %s", path.c_str(), e.what());
        report([this, path = toQString(path), reason = QString::fromStdString(e.what())] {
            emit failed(path, reason);
        });
    }
}

} // namespace analysis
