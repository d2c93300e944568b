#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// The bundled search service, kolvadeck-catalog, beside the executable. When
// the search host is the built-in default, the program starts it for its own
// run (it serves at once and scans the music and video folders in the
// background) and ends it on exit. Another instance already serving the port
// makes this one exit with an error; the searches then reach that one.
//
// A service that crashes (or is killed) is started again, after 1 s and then
// doubling waits up to a minute while it keeps crashing soon after starting,
// so the Music Library does not stay dead for the rest of the set.
class CatalogService {
public:
    static constexpr int kFirstRestartDelayMs = 1000;
    static constexpr int kLongestRestartDelayMs = 60000;
    static constexpr int kSteadyRunMs = 60000;

    // The program beside this executable, with no arguments.
    CatalogService();
    CatalogService(QString program, QStringList arguments);
    ~CatalogService();
    CatalogService(const CatalogService&) = delete;
    CatalogService& operator=(const CatalogService&) = delete;

    // Starts the service unless KOLVADECK_SEARCH_HOST points elsewhere or the
    // program is missing; returns whether it was started.
    bool StartIfDefault();
    void Stop();
    // The running service's process id; 0 when none runs.
    qint64 ProcessId() const { return process.processId(); }

private:
    bool Launch();
    void Finished(QProcess::ExitStatus status);

    QString program_;
    QStringList arguments_;
    QProcess process;
    bool stopping_ = false;
    int restartDelayMs_ = kFirstRestartDelayMs;
    QElapsedTimer running_;
};
