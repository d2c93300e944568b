#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

struct CatalogError : std::runtime_error {
    // code: SQLite's result code of the failure, 0 when it has none.
    explicit CatalogError(const std::string& what, int code = 0)
        : std::runtime_error(what)
        , code_(code) {}
    // The file is no database or a damaged one (rebuilding it is the cure).
    bool damaged() const;

private:
    int code_;
};

// One prepared statement, reset and rebound for each use.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Resets the statement and clears its bindings; returns it for binding.
    Statement& reset();
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, std::int64_t value);
    // Steps once: true while a row is there, false when done. Throws on error.
    bool step();
    void run(); // steps to the end

    std::string text(int column) const;
    std::int64_t integer(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// A connection to the catalogue database, with its statements kept prepared.
// One thread at a time; the pool hands out one per request.
class Database {
public:
    // Opens (creating if need be, mode 0600) the database file and its tables.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const char* sql);
    // SQLite's quick integrity check: "ok", or the first problem found.
    // Throws when the file is too damaged to be read at all.
    std::string quickCheck();
    // The statement for this SQL text, prepared on first use and then reused.
    Statement& prepare(const std::string& sql);

private:
    void createSchema();

    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<Statement>, std::less<>> statements_;
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool done_ = false;
};
