#pragma once

#include "catalog/TagReading.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Reads the tags of a list of files on a thread of its own, a little ahead of
// the scan that stores them, so that reading files and writing the catalogue
// overlap. Results come back in list order.
class ReadAhead {
public:
    struct Job {
        std::string path;
        bool music = true;
    };
    struct Result {
        TrackTags track; // for music
        VideoTags video; // for videos
    };

    ReadAhead(std::vector<Job> jobs, const std::atomic<bool>* stop);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next file's tags; nothing once all are taken or the scan is stopped.
    std::optional<Result> next();

private:
    void work();
    bool stopped() const { return stop_ && *stop_; }

    static constexpr size_t kAhead = 64;
    std::vector<Job> jobs_;
    const std::atomic<bool>* stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Result> ready_;
    bool quit_ = false;
    std::thread worker_;
};
