#pragma once

#include "catalog/Database.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Connections to one catalogue for the server's worker threads: each request
// borrows one and gives it back, so prepared statements are reused.
class ConnectionPool {
public:
    explicit ConnectionPool(std::string path);

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Database> db);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Database& operator*() const { return *db_; }
        Database* operator->() const { return db_.get(); }

    private:
        ConnectionPool& pool_;
        std::unique_ptr<Database> db_;
    };

    Lease Borrow();

private:
    std::string path_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Database>> idle_;
};
