#include "app/CatalogService.h"

#include "platform/Shell.h"

#include <QFileInfo>
#include <csignal>
#include <sys/prctl.h>

CatalogService::~CatalogService() {
    Stop();
}

bool CatalogService::StartIfDefault() {
    if (!qEnvironmentVariableIsEmpty("KOLVADECK_SEARCH_HOST"))
        return false;
    const QString program =
        QString::fromStdString(shell::ProgramFolder()) + QStringLiteral("/kolvadeck-catalog");
    if (!QFileInfo(program).isExecutable())
        return false;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    // Ends with the program even when the program itself is killed.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start(program, {});
    return process.waitForStarted(3000);
}

void CatalogService::Stop() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate(); // it ends a running scan and closes the database
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}
