#include "decks/PlayHistory.h"

#include "analysis/FileTags.h"
#include "decks/DecksLog.h"
#include "platform/Workers.h"

#include <QFile>
#include <QSaveFile>
#include <mutex>
#include <vector>

namespace {
// One job at a time on the file: the last job at exit may run beside the one
// in flight, and both would find the file new and write its header.
std::mutex& fileInUse() {
    static std::mutex mutex;
    return mutex;
}
} // namespace

PlayHistory::PlayHistory(QString file)
    : file_(std::move(file)) {}

// Rows still waiting (the tracks left as the program ends) are written by one
// last job; the worker pool runs it before the process ends.
PlayHistory::~PlayHistory() {
    if (jobs_.empty())
        return;
    std::vector<Job> rest;
    for (auto& job : jobs_)
        rest.push_back(std::move(job.first));
    workers::run([rest = std::move(rest)] {
        for (const Job& job : rest)
            job();
    });
}

QString PlayHistory::csvField(const QString& text) {
    QString field = text;
    if (!field.isEmpty() && QStringLiteral("=+-@").contains(field.front()))
        field.prepend(QLatin1Char('\''));
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

void PlayHistory::record(const QDateTime& began, const std::string& path, int secondsHeard) {
    if (file_.isEmpty() || secondsHeard <= kMinimumSeconds)
        return;
    run(
        [file = file_, began, path, secondsHeard] {
            const auto tags = analysis::readFileTags(path);
            const QString row =
                QStringList{began.toString(Qt::ISODate), csvField(QString::fromStdString(path)),
                            csvField(tags ? tags->artist : QString()),
                            csvField(tags ? tags->title : QString()), QString::number(secondsHeard)}
                    .join(QLatin1Char(','));
            std::lock_guard lock(fileInUse());
            QFile out(file);
            const bool fresh = !out.exists() || out.size() == 0;
            if (!out.open(QIODevice::Append | QIODevice::Text))
                return out.errorString();
            if (fresh)
                out.write(QByteArray(kHeader) + '\n');
            out.write(row.toUtf8() + '\n');
            return out.error() == QFile::NoError ? QString() : out.errorString();
        },
        [](const QString& error) {
            if (!error.isEmpty())
                qCWarning(lcDecks, "the play history was not written: %s", qPrintable(error));
        });
}

void PlayHistory::exportTo(const QString& target, std::function<void(const QString&)> done) {
    run(
        [file = file_, target] {
            std::lock_guard lock(fileInUse());
            QByteArray rows;
            QFile in(file);
            if (in.open(QIODevice::ReadOnly))
                rows = in.readAll();
            if (rows.isEmpty())
                rows = QByteArray(kHeader) + '\n';
            QSaveFile out(target);
            if (!out.open(QIODevice::WriteOnly) || out.write(rows) != rows.size() || !out.commit())
                return out.errorString();
            return QString();
        },
        std::move(done));
}

void PlayHistory::run(Job job, std::function<void(const QString&)> done) {
    jobs_.emplace_back(std::move(job), std::move(done));
    if (!task_ || !task_->running())
        runNext();
}

void PlayHistory::runNext() {
    if (jobs_.empty())
        return;
    auto [job, done] = std::move(jobs_.front());
    jobs_.pop_front();
    task_ = std::make_unique<BackgroundTask>(
        [job = std::move(job), done = std::move(done), this](const std::atomic<bool>&) {
            const QString error = job();
            return [this, error, done] {
                if (done)
                    done(error);
                runNext();
            };
        });
}
