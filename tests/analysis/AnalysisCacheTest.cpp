// The per-user analysis store and the background worker that fills it.
#include "analysis/AnalysisCache.h"
#include "analysis/AnalysisWorker.h"
#include "tests/analysis/SoundFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/TestApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using analysis::AnalysisCache;
using analysis::LoudnessResult;

LoudnessResult Sample(double lufs) {
    LoudnessResult r;
    r.integratedLufs = lufs;
    r.truePeakDbtp = -3;
    r.firstAudibleFrame = 10;
    r.lastAudibleFrame = 20;
    r.lengthFrames = 30;
    return r;
}

void setModified(const std::string& path, time_t seconds) {
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimes(path.c_str(), times), 0);
}

TEST(AnalysisCacheTest, HitsOnlyTheSameSizeAndModificationTime) {
    QTemporaryDir dir;
    const QString store = dir.filePath("sub/analysis.json");
    const std::string track = soundfiles::writeBytes("cached_track.flac", "abc");
    setModified(track, 1000000);
    {
        AnalysisCache cache(store);
        EXPECT_FALSE(cache.find(track));
        cache.store(track, *analysis::stampOf(track), Sample(-12.5));
    }
    AnalysisCache again(store); // a later run reads the file
    ASSERT_TRUE(again.find(track));
    EXPECT_EQ(again.find(track)->integratedLufs, -12.5);
    EXPECT_EQ(again.find(track)->lastAudibleFrame, 20);
    setModified(track, 1000001);
    EXPECT_FALSE(again.find(track)) << "modified since";
    setModified(track, 1000000);
    EXPECT_TRUE(again.find(track));
    soundfiles::writeBytes("cached_track.flac", "abcd");
    setModified(track, 1000000);
    EXPECT_FALSE(again.find(track)) << "another size";

    // A silent track's loudness (-infinity) survives the trip through JSON.
    again.store(track, *analysis::stampOf(track), Sample(-HUGE_VAL));
    EXPECT_EQ(AnalysisCache(store).find(track)->integratedLufs, -HUGE_VAL);

    qputenv("XDG_CACHE_HOME", dir.path().toUtf8());
    EXPECT_EQ(AnalysisCache::defaultFile(), dir.path() + "/Kolvadeck/analysis.json");
}

TEST(AnalysisCacheTest, ADamagedStoreIsIgnoredThenRewritten) {
    QTemporaryDir dir;
    const QString store = dir.filePath("analysis.json");
    const std::string track = soundfiles::writeBytes("damaged_store_track.flac", "xyz");
    for (const QByteArray& damage :
         {QByteArray("\x00\xff{\"version\":1,\"tra", 20),
          QByteArray("{\"version\":1,\"tracks\":[1]}"),
          QByteArray("{\"version\":1,\"tracks\":{\"") +
              QFile::encodeName(QString::fromStdString(track)) + "\":{\"size\":\"3\"}}}",
          // Whole, but no analysis measures this: it would mean +182 dB.
          QByteArray("{\"version\":1,\"tracks\":{\"") +
              QFile::encodeName(QString::fromStdString(track)) +
              "\":{\"size\":\"3\",\"modifiedNs\":\"" +
              QByteArray::number(qint64(analysis::stampOf(track)->modifiedNs)) +
              "\",\"lufs\":-200,\"truePeak\":-300,\"first\":0,\"last\":1,"
              "\"length\":2}}}"}) {
        QFile f(store);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damage);
        f.close();
        AnalysisCache cache(store);
        EXPECT_FALSE(cache.find(track));
        cache.store(track, *analysis::stampOf(track), Sample(-20));
        EXPECT_EQ(AnalysisCache(store).find(track)->integratedLufs, -20);
    }
}

struct Collected {
    QObject receiver; // on the test's (window) thread: makes the connections queued
    std::vector<QString> order;
    std::vector<LoudnessResult> results;
    std::vector<QString> failures;
    bool onWindowThread = true;
};

void collect(analysis::AnalysisWorker& worker, Collected& c) {
    QObject::connect(&worker, &analysis::AnalysisWorker::analysed, &c.receiver,
                     [&c](const QString& path, const LoudnessResult& r) {
                         c.onWindowThread &= QThread::currentThread() == qApp->thread();
                         c.order.push_back(path);
                         c.results.push_back(r);
                     });
    QObject::connect(&worker, &analysis::AnalysisWorker::failed, &c.receiver,
                     [&c](const QString& path, const QString&) { c.failures.push_back(path); });
}

// Scheduling policy and nice value of one thread of this process.
std::pair<int, int> policyAndNice(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    // After the name: state is field 3, nice field 19, policy field 41.
    return {std::stoi(f.at(41 - 3)), std::stoi(f.at(19 - 3))};
}

TEST(AnalysisWorkerTest, AnalysesTheNextTrackFirstAtIdlePriority) {
    ensureTestApp();
    QTemporaryDir dir;
    AnalysisCache cache(dir.filePath("analysis.json"));
    const std::string wav = soundfiles::soxWav("w.wav", {"2", "sine", "1000", "vol", "0.5"});
    const std::string a = soundfiles::encode(wav, "worker_a.flac");
    const std::string b = soundfiles::encode(wav, "worker_b.ogg");
    const std::string next = soundfiles::encode(wav, "worker_next.opus");
    const std::string broken = soundfiles::writeBytes("worker_broken.flac", "fLaC");
    Collected c;
    {
        analysis::AnalysisWorker worker(cache);
        collect(worker, c);
        for (const std::string& path : {a, b, next, broken, a})
            worker.enqueue(path);
        worker.putFirst(next);
        EXPECT_EQ(worker.waiting(), 4u) << "queued once each";
        worker.start();
        ASSERT_TRUE(waitFor([&] { return c.order.size() + c.failures.size() == 4; }, 60000));
        ASSERT_NE(worker.threadId(), 0);
        EXPECT_NE(worker.threadId(), gettid());
        EXPECT_EQ(policyAndNice(worker.threadId()), std::make_pair(SCHED_IDLE, 19));
    }
    ASSERT_EQ(c.order.size(), 3u);
    EXPECT_EQ(c.order[0].toStdString(), next);
    EXPECT_EQ(c.order[1].toStdString(), a);
    EXPECT_EQ(c.order[2].toStdString(), b);
    EXPECT_EQ(c.failures, std::vector<QString>{QString::fromStdString(broken)});
    EXPECT_TRUE(c.onWindowThread) << "results arrive queued on the owner's thread";
    EXPECT_NEAR(c.results[1].integratedLufs, -6, 0.5);

    // A result in the store is delivered without decoding: a planted value comes back.
    cache.store(a, *analysis::stampOf(a), Sample(-33));
    Collected again;
    analysis::AnalysisWorker worker(cache);
    collect(worker, again);
    worker.enqueue(a);
    worker.start();
    ASSERT_TRUE(waitFor([&] { return again.results.size() == 1; }));
    EXPECT_EQ(again.results[0].integratedLufs, -33);
}

TEST(AnalysisWorkerTest, StopsALongAnalysisWhenDestroyed) {
    ensureTestApp();
    QTemporaryDir dir;
    AnalysisCache cache(dir.filePath("analysis.json"));
    const std::string long_ = soundfiles::encode(
        soundfiles::soxWav("long.wav", {"300", "sine", "1000", "vol", "0.5"}), "long.flac");
    Collected c;
    {
        analysis::AnalysisWorker worker(cache);
        collect(worker, c);
        worker.enqueue(long_);
        worker.start();
        ASSERT_TRUE(waitFor([&] { return worker.waiting() == 0; }));
    } // joins: would take the whole decode without the cancel
    QCoreApplication::processEvents();
    EXPECT_TRUE(c.order.empty());
    EXPECT_FALSE(cache.find(long_)) << "a cancelled analysis stores nothing";
}

} // namespace
