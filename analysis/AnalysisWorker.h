#pragma once

#include "analysis/LoudnessAnalysis.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unordered_set>

namespace analysis {

class AnalysisCache;

// Analyses queued tracks one after another on its own thread, at the lowest
// scheduling priority (SCHED_IDLE, nice 19) so that it never takes time from
// the audio or the window; a result already in the cache is delivered without
// decoding, a new one is stored there. Results arrive by queued signal on
// the thread that owns the worker. The queue's methods never wait on I/O.
class AnalysisWorker : public QObject {
    Q_OBJECT
public:
    explicit AnalysisWorker(AnalysisCache& cache, QObject* parent = nullptr);
    // Stops the track in hand at its next chunk and joins the thread.
    ~AnalysisWorker() override;

    // Starts the thread (tracks queued before are kept in their order).
    void Start();
    // Queues a track at the back; a track already queued keeps its place.
    void Enqueue(const std::string& path);
    // Puts a track at the front (the next one to play), moving it if queued.
    void PutFirst(const std::string& path);
    // Tracks waiting (not counting the one in hand).
    std::size_t Waiting() const;
    // The kernel's id of the worker thread; 0 before Start.
    pid_t ThreadId() const { return threadId_.load(); }

signals:
    void Analysed(const QString& path, const analysis::LoudnessResult& result);
    void Failed(const QString& path, const QString& reason);
    // A track not yet in the cache carries a ReplayGain track gain tag (dB):
    // said before its analysis starts, to be used until it ends.
    void TagGainRead(const QString& path, double gainDb);

private:
    void Run();
    void AnalyseOne(const std::string& path);

    AnalysisCache& cache_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    // The same tracks, for a quick "already queued" when a playlist is added.
    std::unordered_set<std::string> queued_;
    std::atomic<bool> stop_{false};
    std::atomic<pid_t> threadId_{0};
    std::thread thread_;
};

} // namespace analysis

Q_DECLARE_METATYPE(analysis::LoudnessResult)
