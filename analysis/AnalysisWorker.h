#pragma once

#include "analysis/LoudnessAnalysis.h"
#include "platform/CallInbox.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
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
// decoding, a new one is stored there. Every queued track first gets a quick
// look (its cached result, else its ReplayGain tag) before any track's full
// analysis starts, so that a track played early already has a gain. Results
// are signalled on the thread that made the worker (handed back through a
// CallInbox; those still on their way when it is destroyed are dropped). The
// queue's methods never wait on I/O. The thread is its own, not a pool's: it
// lowers its priority for good, which an unprivileged thread cannot undo.
class AnalysisWorker : public QObject {
    Q_OBJECT
public:
    explicit AnalysisWorker(AnalysisCache& cache, QObject* parent = nullptr);
    // Stops the track in hand at its next chunk and joins the thread.
    ~AnalysisWorker() override;

    // Starts the thread (tracks queued before are kept in their order).
    void start();
    // Queues a track at the back; a track already queued keeps its place.
    void enqueue(const std::string& path);
    // Puts a track at the front (the next one to play), moving it if queued.
    void putFirst(const std::string& path);
    // Tracks waiting for a look or an analysis (not counting the one in hand).
    std::size_t waiting() const;
    // The kernel's id of the worker thread; 0 before Start.
    pid_t threadId() const { return threadId_.load(); }

signals:
    void analysed(const QString& path, const analysis::LoudnessResult& result);
    void failed(const QString& path, const QString& reason);
    // A track not yet in the cache carries a ReplayGain track gain tag: the
    // gain to apply (dB, already held under the peak ceiling and boost cap),
    // said in its quick look, to be used until its analysis ends.
    void tagGainRead(const QString& path, double gainDb);

private:
    void run();
    // The quick look: true when the track still needs its full analysis.
    bool lookAt(const std::string& path);
    void analyseOne(const std::string& path);
    // Worker thread: emits on the worker's own thread.
    void report(std::function<void()> emitSignal);
    void reportNotFound(const std::string& path);

    AnalysisCache& cache_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Tracks waiting for their quick look; then for their analysis.
    std::deque<std::string> lookQueue_;
    std::deque<std::string> queue_;
    // Looked-at tracks that go to the front of the analysis queue.
    std::unordered_set<std::string> urgent_;
    // Every waiting track, for a quick "already queued" when a playlist is added.
    std::unordered_set<std::string> queued_;
    std::atomic<bool> stop_{false};
    std::atomic<pid_t> threadId_{0};
    CallInbox results_; // destroyed after the thread is joined
    std::thread thread_;
};

} // namespace analysis

Q_DECLARE_METATYPE(analysis::LoudnessResult)
