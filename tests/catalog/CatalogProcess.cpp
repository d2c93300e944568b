#include "CatalogProcess.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace {

QStringList arguments(const std::string& database, const std::string& music,
                      const std::string& videos) {
    return {
        "--no-default-folders",        "--database", QString::fromStdString(database), "--music",
        QString::fromStdString(music), "--videos",   QString::fromStdString(videos)};
}

// The program reads these too; the test's own environment must not leak in.
QProcessEnvironment cleanEnvironment(const std::filesystem::path& runtimeFolder) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("KOLVADECK_MUSIC_DIRS");
    environment.remove("KOLVADECK_VIDEO_DIRS");
    environment.remove("KOLVADECK_CATALOG_DB");
    std::filesystem::create_directories(runtimeFolder);
    std::filesystem::permissions(runtimeFolder, std::filesystem::perms::owner_all);
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtimeFolder.string()));
    return environment;
}

} // namespace

CatalogProcess::~CatalogProcess() {
    stop();
}

std::filesystem::path CatalogProcess::runtimeFolder() {
    return std::filesystem::path(testing::TempDir()) /
           ("catalog_runtime_" + std::to_string(getpid()));
}

std::string CatalogProcess::secret() {
    std::ifstream file(runtimeFolder() / "kolvadeck-catalog.secret");
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string CatalogProcess::program() {
    return std::string(KV_BINARY_DIR) + "/app/kolvadeck-catalog";
}

bool CatalogProcess::start(const std::string& database, const std::string& music,
                           const std::string& videos, const std::vector<std::string>& extra) {
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(cleanEnvironment(runtimeFolder()));
    QStringList arguments = ::arguments(database, music, videos);
    arguments << "--port"
              << "0";
    for (const std::string& option : extra)
        arguments << QString::fromStdString(option);
    process_->start(QString::fromStdString(program()), arguments);
    if (!process_->waitForStarted(10000))
        return false;
    // The first line on standard output names the bound address.
    while (!process_->canReadLine()) {
        if (!process_->waitForReadyRead(60000))
            return false;
    }
    const QString line = QString::fromUtf8(process_->readLine()).trimmed();
    const QString prefix = "listening on http://127.0.0.1:";
    if (!line.startsWith(prefix))
        return false;
    bool ok = false;
    port_ = line.mid(prefix.size()).toInt(&ok);
    return ok && port_ > 0;
}

bool CatalogProcess::terminatedWithin(int ms) {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return true;
    process_->terminate();
    const bool ended = process_->waitForFinished(ms);
    stop();
    return ended;
}

void CatalogProcess::stop() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return;
    process_->terminate();
    if (!process_->waitForFinished(15000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

std::string CatalogProcess::errorOutput() {
    return process_ ? process_->readAllStandardError().toStdString() : std::string();
}

std::string CatalogProcess::scanOnly(const std::string& database, const std::string& music,
                                     const std::string& videos, int* exitCode) {
    std::vector<std::string> arguments;
    for (const QString& argument : ::arguments(database, music, videos))
        arguments.push_back(argument.toStdString());
    arguments.push_back("--scan-only");
    return run(arguments, exitCode);
}

std::string CatalogProcess::run(const std::vector<std::string>& given, int* exitCode,
                                const std::filesystem::path& runtimeFolder) {
    QProcess process;
    process.setProcessEnvironment(cleanEnvironment(runtimeFolder));
    QStringList arguments;
    for (const std::string& argument : given)
        arguments << QString::fromStdString(argument);
    process.start(QString::fromStdString(program()), arguments);
    process.waitForFinished(120000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardError().toStdString();
}
