#include "catalog/ReadAhead.h"

ReadAhead::ReadAhead(std::vector<Job> jobs, const std::atomic<bool>* stop)
    : jobs_(std::move(jobs))
    , stop_(stop)
    , worker_([this] { work(); }) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void ReadAhead::work() {
    for (const Job& job : jobs_) {
        {
            std::unique_lock lock(mutex_);
            // A full queue waits until half of it is taken, and an empty one
            // until half of it is read: the two threads wake each other once
            // every many files, not for each.
            if (ready_.size() >= kAhead)
                changed_.wait(lock, [this] { return quit_ || ready_.size() <= kAhead / 2; });
            if (quit_)
                return;
        }
        if (stopped())
            break;
        Result result;
        if (job.music)
            result.track = readTrackTags(job.path);
        else
            result.video = readVideoTags(job.path);
        bool halfRead = false;
        {
            const std::lock_guard lock(mutex_);
            ready_.push_back(std::move(result));
            halfRead = ready_.size() == kAhead / 2;
        }
        if (halfRead)
            changed_.notify_all();
    }
    const std::lock_guard lock(mutex_);
    quit_ = true;
    changed_.notify_all();
}

std::optional<ReadAhead::Result> ReadAhead::next() {
    std::unique_lock lock(mutex_);
    if (ready_.empty())
        changed_.wait(lock, [this] { return ready_.size() >= kAhead / 2 || quit_; });
    if (ready_.empty())
        return std::nullopt;
    Result result = std::move(ready_.front());
    ready_.pop_front();
    const bool halfTaken = ready_.size() == kAhead / 2;
    lock.unlock();
    if (halfTaken)
        changed_.notify_all();
    return result;
}
