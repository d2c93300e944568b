#include "catalog/Database.h"

#include "catalog/Schema.h"

#include <sqlite3.h>

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw CatalogError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"),
                       db ? sqlite3_errcode(db) : SQLITE_NOMEM);
}
} // namespace

bool CatalogError::damaged() const {
    const int primary = code_ & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Statement::Statement(sqlite3* db, std::string_view sql)
    : db_(db) {
    if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement_, nullptr) != SQLITE_OK)
        fail(db, "prepare");
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, "bind");
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        fail(db_, "bind");
    return *this;
}

bool Statement::step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    fail(db_, "step");
}

void Statement::run() {
    while (step()) {
    }
}

std::string Statement::text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

Database::Database(const std::string& path) {
    // The catalogue lists the user's files: it is made (or kept) readable by
    // the user alone. SQLite gives its journal files the same mode.
    if (!path.empty() && path.front() != ':') {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            fchmod(fd, 0600);
            close(fd);
        }
    }
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        const int code = db_ ? sqlite3_errcode(db_) : SQLITE_NOMEM;
        sqlite3_close(db_);
        throw CatalogError("cannot open " + path + ": " + message, code);
    }
    // Readers keep answering while a scan writes (WAL); a writer waits briefly
    // for another rather than failing.
    sqlite3_busy_timeout(db_, 10000);
    try {
        execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        createSchema();
    } catch (...) {
        statements_.clear();
        sqlite3_close(db_);
        throw;
    }
}

Database::~Database() {
    statements_.clear();
    sqlite3_close(db_);
}

void Database::execute(const char* sql) {
    char* error = nullptr;
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (code != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw CatalogError(message, code);
    }
}

std::string Database::quickCheck() {
    Statement check(db_, "PRAGMA quick_check(1)");
    return check.step() ? check.text(0) : std::string();
}

Statement& Database::prepare(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end())
        found = statements_.emplace(sql, std::make_unique<Statement>(db_, sql)).first;
    return found->second->reset();
}

void Database::createSchema() {
    Statement version(db_, "PRAGMA user_version");
    version.step();
    const std::int64_t current = version.integer(0);
    if (current == schema::kVersion)
        return;
    Transaction transaction(*this);
    // A catalogue of another layout is rebuilt by the next scan.
    if (current != 0)
        execute(schema::kDropAll);
    execute(schema::kCreate);
    execute(schema::kSecondaryIndexes);
    execute(("PRAGMA user_version=" + std::to_string(schema::kVersion)).c_str());
    transaction.commit();
}

Transaction::Transaction(Database& db)
    : db_(db) {
    db_.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!done_) {
        // A destructor must not throw; the failed rollback is said on standard
        // error, the catalogue's log, and SQLite rolls back when the database closes.
        try {
            db_.execute("ROLLBACK");
        } catch (const std::exception& error) {
            std::fprintf(stderr, "kolvadeck-catalog: rollback failed: %s\n", error.what());
        }
    }
}

void Transaction::commit() {
    db_.execute("COMMIT");
    done_ = true;
}
