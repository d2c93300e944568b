#include "catalog/ConnectionPool.h"

#include <chrono>

ConnectionPool::ConnectionPool(std::string path)
    : path_(std::move(path)) {}

ConnectionPool::Lease::Lease(ConnectionPool& pool, std::unique_ptr<Database> db,
                             std::uint64_t generation)
    : pool_(pool)
    , db_(std::move(db))
    , generation_(generation) {}

ConnectionPool::Lease::~Lease() {
    const std::lock_guard lock(pool_.mutex_);
    if (generation_ == pool_.generation_)
        pool_.idle_.push_back(std::move(db_));
}

ConnectionPool::Lease ConnectionPool::borrow() {
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        generation = generation_;
        if (!idle_.empty()) {
            std::unique_ptr<Database> db = std::move(idle_.back());
            idle_.pop_back();
            return Lease(*this, std::move(db), generation);
        }
    }
    return Lease(*this, std::make_unique<Database>(path_), generation);
}

std::uint64_t ConnectionPool::generation() const {
    const std::lock_guard lock(mutex_);
    return generation_;
}

void ConnectionPool::reportDamage(std::uint64_t generation) {
    std::function<void()> wake;
    {
        const std::lock_guard lock(mutex_);
        if (generation != generation_)
            return;
        damaged_ = true;
        wake = wake_;
    }
    changed_.notify_all();
    if (wake)
        wake();
}

bool ConnectionPool::waitForDamage(int timeoutMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return damaged_ || interrupted_; });
    const bool damaged = damaged_;
    damaged_ = false;
    return damaged;
}

void ConnectionPool::renew() {
    const std::lock_guard lock(mutex_);
    ++generation_;
    idle_.clear();
    damaged_ = false;
}

void ConnectionPool::interrupt() {
    std::function<void()> wake;
    {
        const std::lock_guard lock(mutex_);
        interrupted_ = true;
        wake = wake_;
    }
    changed_.notify_all();
    if (wake)
        wake();
}

void ConnectionPool::setWaker(std::function<void()> wake) {
    const std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}
