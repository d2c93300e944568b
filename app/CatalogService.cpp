#include "app/CatalogService.h"

#include "app/AppLog.h"
#include "catalog/ExitCodes.h"
#include "catalog/IdentityChallenge.h"
#include "platform/BackgroundTask.h"
#include "platform/Shell.h"

#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace {

std::string keyedHash(const std::string& key, const std::string& message) {
    return QMessageAuthenticationCode::hash(QByteArray::fromStdString(message),
                                            QByteArray::fromStdString(key),
                                            QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// Blocks for up to a few seconds (the kernel's socket tables, the secret's
// file, the challenge): run on a worker.
CatalogService::Port holderOf(quint16 port) {
    namespace challenge = identity_challenge;
    const std::string secret = challenge::readSecret(challenge::secretFile());
    switch (challenge::findHolder("127.0.0.1", port, secret, keyedHash)) {
    case challenge::Holder::OwnService:
        return CatalogService::Port::OwnService;
    case challenge::Holder::Other:
        return CatalogService::Port::HeldByOther;
    case challenge::Holder::Nothing:
        break;
    }
    return CatalogService::Port::Unknown;
}

} // namespace

CatalogService::CatalogService()
    : CatalogService(QString::fromStdString(shell::programFolder()) +
                         QStringLiteral("/kolvadeck-catalog"),
                     {}) {}

CatalogService::CatalogService(QString program, QStringList arguments)
    : program_(std::move(program))
    , arguments_(std::move(arguments)) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    // Ends with the program even when the program itself is killed.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QObject::connect(&process, &QProcess::finished, &process,
                     [this](int, QProcess::ExitStatus status) { finished(status); });
    QObject::connect(
        &process, &QProcess::errorOccurred, &process, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                qCWarning(lcApp, "Music Library: the catalogue could not be started: %s",
                          qPrintable(process.errorString()));
        });
}

CatalogService::~CatalogService() {
    stop();
}

bool CatalogService::startIfDefault() {
    if (!qEnvironmentVariableIsEmpty("KOLVADECK_SEARCH_HOST"))
        return false;
    if (!QFileInfo(program_).isExecutable())
        return false;
    stopping_ = false;
    startedByDefault_ = true;
    return launch();
}

bool CatalogService::revive(quint16 port, std::function<void()> ready) {
    if (!startedByDefault_ || stopping_ || process.state() != QProcess::NotRunning)
        return false;
    if (!launch())
        return false;
    restartDelayMs_ = kFirstRestartDelayMs;
    awaitOwnService(port, kReviveTries, std::move(ready));
    return true;
}

void CatalogService::findPortHolder(quint16 port, std::function<void(Port)> done) {
    portCheck_ = std::make_unique<BackgroundTask>(
        [port, done = std::move(done)](const std::atomic<bool>&) -> BackgroundTask::Completion {
            const Port holder = holderOf(port);
            return [done, holder] { done(holder); };
        });
}

// Checks every 100 ms without waiting on this thread. What `ready` sends
// goes to the user's own catalogue, or, when nothing answers in time, finds
// the port closed; never to a stranger.
void CatalogService::awaitOwnService(quint16 port, int triesLeft, std::function<void()> ready) {
    findPortHolder(port, [this, port, triesLeft, ready](Port holder) mutable {
        if (holder == Port::HeldByOther)
            return noteHeldByOther();
        if (holder == Port::OwnService || triesLeft <= 1)
            return ready();
        QTimer::singleShot(100, &process, [this, port, triesLeft, ready = std::move(ready)] {
            awaitOwnService(port, triesLeft - 1, ready);
        });
    });
}

// Returns at once: the window's thread never waits for the service, and a
// start that fails is reported by errorOccurred.
bool CatalogService::launch() {
    process.start(program_, arguments_);
    running_.start();
    return process.state() != QProcess::NotRunning;
}

// An exit of its own (another instance holds the port, a bad database) is
// final; a crash is not.
void CatalogService::finished(QProcess::ExitStatus status) {
    if (status == QProcess::NormalExit && process.exitCode() == catalog_exit::kAlreadyServing) {
        portHolder_ = Port::OwnService;
        qCInfo(lcApp, "Music Library: your catalogue already runs; the searches go to it");
    } else if (status == QProcess::NormalExit &&
               process.exitCode() == catalog_exit::kPortHeldByOther) {
        noteHeldByOther();
    }
    if (stopping_ || status != QProcess::CrashExit)
        return;
    if (running_.elapsed() >= kSteadyRunMs)
        restartDelayMs_ = kFirstRestartDelayMs;
    const int delay = restartDelayMs_;
    restartDelayMs_ = std::min(restartDelayMs_ * 2, kLongestRestartDelayMs);
    QTimer::singleShot(delay, &process, [this] {
        if (!stopping_ && process.state() == QProcess::NotRunning)
            launch();
    });
}

void CatalogService::noteHeldByOther() {
    if (portHolder_ == Port::HeldByOther)
        return;
    portHolder_ = Port::HeldByOther;
    qCWarning(lcApp, "Music Library: the catalogue's port is held by another program or another "
                     "user; its answers are not your catalogue's");
}

void CatalogService::stop() {
    stopping_ = true;
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();                  // it ends a running scan and closes the database
    if (!process.waitForFinished(3000)) { // wait-ok: at exit only, bounded
        process.kill();
        process.waitForFinished(1000); // wait-ok: at exit only, bounded
    }
}
