#include "analysis/AnalysisWorker.h"

#include "analysis/AnalysisCache.h"
#include "analysis/ReplayGainTag.h"

#include <QFile>
#include <algorithm>
#include <exception>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace analysis {

namespace {

QString ToQString(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The calling thread only: SCHED_IDLE runs it when nothing else wants a
// core; nice 19 covers systems that refuse SCHED_IDLE. Failures leave the
// default priority (the analysis still works, only less politely).
void LowerThisThreadsPriority() {
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

AnalysisWorker::~AnalysisWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void AnalysisWorker::Start() {
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
}

void AnalysisWorker::Enqueue(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (!queued_.insert(path).second)
            return;
        queue_.push_back(path);
    }
    wake_.notify_one();
}

void AnalysisWorker::PutFirst(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (!queued_.insert(path).second)
            queue_.erase(std::find(queue_.begin(), queue_.end(), path));
        queue_.push_front(path);
    }
    wake_.notify_one();
}

std::size_t AnalysisWorker::Waiting() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void AnalysisWorker::Run() {
    threadId_ = gettid();
    LowerThisThreadsPriority();
    for (;;) {
        std::string path;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            path = std::move(queue_.front());
            queue_.pop_front();
            queued_.erase(path);
        }
        AnalyseOne(path);
    }
}

void AnalysisWorker::AnalyseOne(const std::string& path) {
    if (std::optional<LoudnessResult> cached = cache_.Find(path)) {
        emit Analysed(ToQString(path), *cached);
        return;
    }
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!stamp) {
        emit Failed(ToQString(path), QStringLiteral("The file was not found: ") + ToQString(path));
        return;
    }
    if (const std::optional<double> tagGain = ReplayGainTag(path))
        emit TagGainRead(ToQString(path), *tagGain);
    try {
        const LoudnessResult result = AnalyseLoudness(path, &stop_);
        cache_.Store(path, *stamp, result);
        emit Analysed(ToQString(path), result);
    } catch (const AnalysisCancelled&) {
    } catch (const std::exception& e) {
        emit Failed(ToQString(path), QString::fromStdString(e.what()));
    }
}

} // namespace analysis
