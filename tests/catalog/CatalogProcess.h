#pragma once

#include <QProcess>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The real kolvadeck-catalog program, started on a free loopback port with a
// database, folders and runtime folder (where its secret lives) of the test's
// choosing (never the user's own).
class CatalogProcess {
public:
    ~CatalogProcess();

    static std::string program();

    // Serves (with the given mode option, e.g. "--scan-first") and waits for
    // its "listening on" line; false when it did not come up.
    bool start(const std::string& database, const std::string& music, const std::string& videos,
               const std::vector<std::string>& extra = {"--scan-first"});
    void stop();
    // Sends TERM; whether it ended within the time (it is killed otherwise).
    bool terminatedWithin(int ms);
    qint64 pid() const { return process_ ? process_->processId() : 0; }

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string errorOutput();

    // Runs it with --scan-only to its end; returns its standard error output.
    static std::string scanOnly(const std::string& database, const std::string& music,
                                const std::string& videos, int* exitCode = nullptr);

    // Runs it with these arguments (and a clean environment) to its end;
    // returns its standard error output.
    static std::string
    run(const std::vector<std::string>& arguments, int* exitCode,
        const std::filesystem::path& runtimeFolder = CatalogProcess::runtimeFolder());

    // The runtime folder (0700) of every catalogue the test process starts,
    // unless told otherwise.
    static std::filesystem::path runtimeFolder();
    // The secret kept there.
    static std::string secret();

private:
    std::unique_ptr<QProcess> process_;
    int port_ = -1;
};
