// kolvadeck-catalog: the search service Kolvadeck talks to by default. It keeps
// a catalogue of the user's own music and videos and answers the player's
// searches over it on a loopback port.
#include "catalog/ConnectionPool.h"
#include "catalog/DamagedCatalogue.h"
#include "catalog/HttpServer.h"
#include "catalog/Options.h"
#include "catalog/Scanner.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <thread>

namespace {

void PrintProgress(std::int64_t done, std::int64_t total) {
    std::fprintf(stderr, "scanned %lld/%lld\n", static_cast<long long>(done),
                 static_cast<long long>(total));
}

std::atomic<bool> stopping{false};

// mayRebuild: no one else has the catalogue open yet, so damage found by the
// scan can be cured by a fresh catalogue and one more scan.
bool Scan(const Options& options, bool mayRebuild) {
    try {
        Database db(options.database);
        Scanner scanner(db, options.folders);
        scanner.SetProgress(PrintProgress);
        scanner.SetStopFlag(&stopping);
        const ScanReport report = scanner.Run();
        std::fprintf(stderr, "scan done: %lld files, %lld read, %lld unchanged, %lld removed\n",
                     static_cast<long long>(report.found), static_cast<long long>(report.read),
                     static_cast<long long>(report.unchanged),
                     static_cast<long long>(report.removed));
        return true;
    } catch (const CatalogError& error) {
        if (mayRebuild && error.Damaged()) {
            try {
                RebuildCatalogue(options.database, error);
            } catch (const std::exception& again) {
                std::fprintf(stderr, "kolvadeck-catalog: %s\n", again.what());
                return false;
            }
            return Scan(options, false);
        }
        std::fprintf(stderr, "kolvadeck-catalog: scan failed: %s\n", error.what());
        return false;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kolvadeck-catalog: scan failed: %s\n", error.what());
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        std::filesystem::create_directories(std::filesystem::path(options->database).parent_path());
        OpenOrRebuildCatalogue(options->database); // the tables, before anyone reads them
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", failure.what());
        return 1;
    }

    if (options->mode == Options::Mode::ScanOnly)
        return Scan(*options, true) ? 0 : 1;
    if (options->mode == Options::Mode::ScanThenServe && !Scan(*options, true))
        return 1;

    // INT and TERM are taken by a thread of their own, which ends the service.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    ConnectionPool pool(options->database);
    HttpServer server(pool);
    const int port = server.Bind(options->bind, options->port);
    if (port < 0) {
        std::fprintf(stderr, "kolvadeck-catalog: cannot listen on %s:%d\n", options->bind.c_str(),
                     options->port);
        return 1;
    }
    std::printf("listening on http://%s:%d\n", options->bind.c_str(), port);
    std::fflush(stdout);

    std::thread scan;
    if (options->mode == Options::Mode::ServeAndScan)
        scan = std::thread([&] { Scan(*options, false); });
    std::thread watcher([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stopping = true;
        server.Stop();
    });
    server.Listen();
    stopping = true;
    if (scan.joinable())
        scan.join();
    // The watcher waits for a signal; if the server ended otherwise, send it one.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    return 0;
}
