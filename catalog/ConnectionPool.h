#pragma once

#include "catalog/Database.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Connections to one catalogue for the server's worker threads: each request
// borrows one and gives it back, so prepared statements are reused.
//
// Damage found by a query is reported here; whoever rebuilds the catalogue
// (the scan thread) renews the pool, so that connections to the file moved
// aside are closed as they come back. Reports made through connections of an
// earlier file are ignored, so one damaged file is rebuilt once.
class ConnectionPool {
public:
    explicit ConnectionPool(std::string path);

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Database> db, std::uint64_t generation);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Database& operator*() const { return *db_; }
        Database* operator->() const { return db_.get(); }

    private:
        ConnectionPool& pool_;
        std::unique_ptr<Database> db_;
        std::uint64_t generation_;
    };

    Lease borrow();

    // Which catalogue file the connections now belong to.
    std::uint64_t generation() const;
    // A query over a connection of that generation met a damaged file.
    void reportDamage(std::uint64_t generation);
    // Waits up to the timeout for a report; true (and the report taken) when
    // there is one.
    bool waitForDamage(int timeoutMs);
    // Called once the file has been rebuilt: pooled connections are dropped.
    void renew();
    // Wakes WaitForDamage without a report (the service ends).
    void interrupt();
    // Called after each report and interrupt, for a waiter that waits on
    // something else besides.
    void setWaker(std::function<void()> wake);

private:
    std::string path_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Database>> idle_;
    std::uint64_t generation_ = 0;
    bool damaged_ = false;
    bool interrupted_ = false;
    std::function<void()> wake_;
};
