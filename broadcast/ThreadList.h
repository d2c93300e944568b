#pragma once

#include <mutex>
#include <vector>

// A list guarded by one lock: LockList gives the list with the lock held,
// UnlockList releases it. Use ThreadListLock to pair them.
template <typename T> class ThreadList {
public:
    std::vector<T>& lockList() {
        mutex_.lock();
        return items_;
    }
    void unlockList() { mutex_.unlock(); }

private:
    std::mutex mutex_;
    std::vector<T> items_;
};

// Holds a ThreadList's lock for a scope, also when the scope is left by an exception.
template <typename T> class ThreadListLock {
public:
    explicit ThreadListLock(ThreadList<T>& list)
        : list_(list)
        , items_(list.lockList()) {}
    ~ThreadListLock() { list_.unlockList(); }
    ThreadListLock(const ThreadListLock&) = delete;
    ThreadListLock& operator=(const ThreadListLock&) = delete;
    std::vector<T>& items() { return items_; }

private:
    ThreadList<T>& list_;
    std::vector<T>& items_;
};
