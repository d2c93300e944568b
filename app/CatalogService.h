#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>

class BackgroundTask;

// The bundled search service, kolvadeck-catalog, beside the executable. When
// the search host is the built-in default, the program starts it for its own
// run (it serves at once and scans the music and video folders in the
// background) and ends it on exit. The port is the service's alone: when it is
// taken, the service finds out who holds it and exits saying so. This user's
// own catalogue (another run of the program) is fine, as the searches reach
// it; a port held by anything else is reported, as the searches would reach a
// stranger. The program checks the service it turns to in the same way as
// the service checks the port (catalog/IdentityChallenge.h): a challenge only
// this user's catalogue can answer, and no other user listening on the port.
//
// A service that crashes (or is killed) is started again, after 1 s and then
// doubling waits up to a minute while it keeps crashing soon after starting,
// so the Music Library does not stay dead for the rest of the set.
class CatalogService {
public:
    static constexpr int kFirstRestartDelayMs = 1000;
    static constexpr int kLongestRestartDelayMs = 60000;
    static constexpr int kSteadyRunMs = 60000;
    static constexpr int kReviveTries = 50; // 100 ms apart

    // The program beside this executable, with no arguments.
    CatalogService();
    CatalogService(QString program, QStringList arguments);
    ~CatalogService();
    CatalogService(const CatalogService&) = delete;
    CatalogService& operator=(const CatalogService&) = delete;

    // Starts the service unless KOLVADECK_SEARCH_HOST points elsewhere or the
    // program is missing; returns whether it was started.
    bool startIfDefault();
    void stop();
    // A search found the service unreachable: when the program started it and
    // it is not running now (it ended, or waits to be started again after a
    // crash), it is started at once and `ready` runs once this user's
    // catalogue answers on `port` of 127.0.0.1 (or after a few seconds, when
    // nothing does). False when there is nothing to start; `ready` then never
    // runs, nor does it when a stranger turns out to hold the port.
    bool revive(quint16 port, std::function<void()> ready);
    enum class Port {
        Unknown,    // not started, still starting, or nothing answers
        OwnService, // this user's catalogue already serves it
        HeldByOther // another program or user holds it
    };
    // What the service found when it could not take the port, or the
    // program's own check found since.
    Port portHolder() const { return portHolder_; }
    // Finds out on a worker who holds `port` of 127.0.0.1 and tells `done` on
    // this thread: OwnService only when the listener answers a fresh challenge
    // under the user's secret and no other user listens on the port on any
    // address. A new check replaces one still running (whose `done` never runs).
    void findPortHolder(quint16 port, std::function<void(Port)> done);

    // The running service's process id; 0 when none runs.
    qint64 processId() const { return process.processId(); }

private:
    bool launch();
    void finished(QProcess::ExitStatus status);
    void awaitOwnService(quint16 port, int triesLeft, std::function<void()> ready);
    void noteHeldByOther();

    QString program_;
    QStringList arguments_;
    QProcess process;
    bool stopping_ = false;
    bool startedByDefault_ = false;
    int restartDelayMs_ = kFirstRestartDelayMs;
    QElapsedTimer running_;
    Port portHolder_ = Port::Unknown;
    std::unique_ptr<BackgroundTask> portCheck_;
};
