// kolvadeck-catalog: the search service Kolvadeck talks to by default. It keeps
// a catalogue of the user's own music and videos and answers the player's
// searches over it on a loopback port.
#include "catalog/ConnectionPool.h"
#include "catalog/DamagedCatalogue.h"
#include "catalog/DataFolder.h"
#include "catalog/ExitCodes.h"
#include "catalog/FolderWatcher.h"
#include "catalog/HttpServer.h"
#include "catalog/IdentityChallenge.h"
#include "catalog/InstanceIdentity.h"
#include "catalog/Options.h"
#include "catalog/Scanner.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

void printProgress(std::int64_t done, std::int64_t total) {
    std::fprintf(stderr, "scanned %lld/%lld\n", static_cast<long long>(done),
                 static_cast<long long>(total));
}

std::atomic<bool> stopping{false};

// A damaged file is rebuilt at most this often in one run: more means the
// disk itself is failing, and rebuilding again would not help.
constexpr int kMostRebuilds = 3;

enum class ScanResult { Done, Damaged, Failed };

// Runs one pass of the scanner over the catalogue: a whole scan, or an
// update of what the watcher saw change.
ScanResult Catalogue(const Options& options, const std::function<ScanReport(Scanner&)>& pass,
                     const char* what) {
    try {
        Database db(options.database);
        Scanner scanner(db, options.folders);
        scanner.setStopFlag(&stopping);
        const ScanReport report = pass(scanner);
        std::fprintf(stderr, "%s done: %lld files, %lld read, %lld unchanged, %lld removed\n", what,
                     static_cast<long long>(report.found), static_cast<long long>(report.read),
                     static_cast<long long>(report.unchanged),
                     static_cast<long long>(report.removed));
        return ScanResult::Done;
    } catch (const CatalogError& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s failed: %s\n", what, error.what());
        return error.damaged() ? ScanResult::Damaged : ScanResult::Failed;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kolvadeck-catalog: %s failed: %s\n", what, error.what());
        return ScanResult::Failed;
    }
}

ScanResult scan(const Options& options) {
    return Catalogue(
        options,
        [](Scanner& scanner) {
            scanner.setProgress(printProgress);
            return scanner.run();
        },
        "scan");
}

bool rebuild(const std::string& path, const char* why) {
    try {
        rebuildCatalogue(path, CatalogError(why));
        return true;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", failure.what());
        return false;
    }
}

// Before serving: a damaged catalogue found by the scan is rebuilt and scanned again.
bool scanBeforeServing(const Options& options) {
    for (int rebuilds = 0;; ++rebuilds) {
        const ScanResult result = scan(options);
        if (result != ScanResult::Damaged || rebuilds == kMostRebuilds)
            return result == ScanResult::Done;
        if (!rebuild(options.database, "damage found by the scan"))
            return false;
    }
}

// While serving: scans when asked to at start, follows what the watcher
// sees change in the folders (everything again when it lost track), and
// whenever a query or the scan meets a damaged file, moves it aside, rebuilds
// it and scans again.
void maintain(const Options& options, ConnectionPool& pool, FolderWatcher& watcher,
              bool scanFirst) {
    bool scan = scanFirst;
    for (int rebuilds = 0; !stopping;) {
        if (scan && ::scan(options) == ScanResult::Damaged)
            pool.reportDamage(pool.generation());
        scan = false;
        const FolderWatcher::Changes changes = watcher.collect(1000);
        if (stopping)
            return;
        if (changes.overflow) {
            std::fprintf(stderr, "kolvadeck-catalog: too many changes at once; scanning again\n");
            watcher.rewatch();
            scan = true;
        } else if (!changes.paths.empty()) {
            const auto update = [&](Scanner& scanner) { return scanner.update(changes.paths); };
            if (Catalogue(options, update, "update") == ScanResult::Damaged)
                pool.reportDamage(pool.generation());
        }
        if (!pool.waitForDamage(0) || stopping)
            continue;
        if (rebuilds++ == kMostRebuilds) {
            std::fprintf(stderr, "kolvadeck-catalog: the catalogue keeps being damaged; "
                                 "it is no longer rebuilt in this run\n");
            return;
        }
        if (rebuild(options.database, "a query met a damaged file"))
            scan = true;
        pool.renew();
    }
}

// The port is taken: by this user's own catalogue (then the searches already
// have their service) or by something else. Only a listener that answers a
// fresh challenge under the user's secret, on a port where no other user
// listens on any address, is the user's own.
int portTaken(const Options& options, const std::string& secret) {
    identity_challenge::Holder holder = identity_challenge::Holder::Other;
    try {
        holder = identity_challenge::findHolder(options.bind, options.port, secret,
                                                instance_identity::keyedHash);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", failure.what());
    }
    if (holder == identity_challenge::Holder::OwnService) {
        std::fprintf(stderr,
                     "kolvadeck-catalog: your catalogue already serves on %s:%d; this one ends\n",
                     options.bind.c_str(), options.port);
        return catalog_exit::kAlreadyServing;
    }
    std::fprintf(stderr,
                 "kolvadeck-catalog: %s:%d is held by another program or another user; the "
                 "catalogue cannot serve there\n",
                 options.bind.c_str(), options.port);
    return catalog_exit::kPortHeldByOther;
}

// INT and TERM are taken by a thread of their own, which ends the service at
// any stage (a scan before serving included). They are blocked before any
// other thread starts, so that every thread inherits the mask.
sigset_t blockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

class SignalWatcher {
public:
    SignalWatcher(sigset_t signals, std::function<void()> onStop)
        : signals_(signals)
        , watcher_([this, stop = std::move(onStop)] {
            int signal = 0;
            sigwait(&signals_, &signal);
            stop();
        }) {}
    ~SignalWatcher() {
        // The watcher waits for a signal; if the service ended otherwise, send it one.
        pthread_kill(watcher_.native_handle(), SIGTERM);
        watcher_.join();
    }

private:
    sigset_t signals_;
    std::thread watcher_;
};

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n%s", error.c_str(), kUsage);
        return catalog_exit::kBadArguments;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string dataFolder =
        std::filesystem::absolute(options->database).parent_path().string();
    const std::string ownDataFolder =
        std::filesystem::path(defaultDatabasePath()).parent_path().string();
    // The secret is the user's, not the catalogue file's: in the runtime
    // folder, where the program finds it too.
    const std::string secretFolder = identity_challenge::secretFolder();
    std::string secret;
    try {
        prepareDataFolder(dataFolder, ownDataFolder);
        if (secretFolder.empty())
            throw std::runtime_error("neither XDG_RUNTIME_DIR nor HOME names a folder for the "
                                     "catalogue's secret");
        prepareDataFolder(secretFolder, ownDataFolder);
        secret = instance_identity::loadOrCreateSecret(secretFolder);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", failure.what());
        return catalog_exit::kFailed;
    }
    std::signal(SIGPIPE, SIG_IGN);

    ConnectionPool pool(options->database);
    const sigset_t stopSignals = blockStopSignals();
    HttpServer server(pool, options->folders.videos);
    server.setSecret(secret);
    std::unique_ptr<FolderWatcher> folderWatcher;
    const SignalWatcher watcher(stopSignals, [&] {
        stopping = true;
        pool.interrupt();
        server.stop();
    });
    // The port is taken before the catalogue is touched, so that a second
    // instance leaves the first one's file alone.
    int port = 0;
    if (options->mode != Options::Mode::ScanOnly) {
        int bindError = 0;
        port = server.bind(options->bind, options->port, bindError);
        if (port < 0 && bindError == EADDRINUSE)
            return portTaken(*options, secret);
        if (port < 0) {
            std::fprintf(stderr, "kolvadeck-catalog: cannot listen on %s:%d: %s\n",
                         options->bind.c_str(), options->port, std::strerror(bindError));
            return catalog_exit::kFailed;
        }
    }
    // The folders are watched from before the first scan, so that nothing
    // that arrives while it runs is missed.
    if (options->mode != Options::Mode::ScanOnly) {
        std::vector<std::string> roots = options->folders.music;
        roots.insert(roots.end(), options->folders.videos.begin(), options->folders.videos.end());
        folderWatcher = std::make_unique<FolderWatcher>(std::move(roots));
        pool.setWaker([folders = folderWatcher.get()] { folders->wake(); });
    }
    try {
        openOrRebuildCatalogue(options->database); // the tables, before anyone reads them
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kolvadeck-catalog: %s\n", failure.what());
        return catalog_exit::kFailed;
    }

    if (options->mode == Options::Mode::ScanOnly)
        return scanBeforeServing(*options) ? 0 : catalog_exit::kFailed;
    if (options->mode == Options::Mode::ScanThenServe && !scanBeforeServing(*options))
        return catalog_exit::kFailed;
    if (stopping)
        return 0;

    std::printf("listening on http://%s:%d\n", options->bind.c_str(), port);
    std::fflush(stdout);

    std::thread maintenance([&] {
        maintain(*options, pool, *folderWatcher, options->mode == Options::Mode::ServeAndScan);
    });
    server.listen();
    stopping = true;
    pool.interrupt();
    maintenance.join();
    return 0;
}
