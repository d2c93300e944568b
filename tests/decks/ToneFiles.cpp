#include "tests/decks/ToneFiles.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tonefiles {

namespace {

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

void run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QString("%1 failed: %2")
                                     .arg(program, QString::fromLocal8Bit(p.readAllStandardError()))
                                     .toStdString());
}

QString describe(const Tone& t) {
    return QString("tone_%1Hz_%2s_%3_%4ch_%5")
        .arg(t.frequency)
        .arg(t.seconds)
        .arg(t.rate)
        .arg(t.channels)
        .arg(t.amplitude);
}

} // namespace

std::string wav(const Tone& t, const QString& name) {
    const QString path = folder().filePath(name);
    if (!QFile::exists(path))
        run("sox", {"-n", "-r", QString::number(t.rate), "-c", QString::number(t.channels), "-t",
                    "wav", path, "synth", QString::number(t.seconds), "sine",
                    QString::number(t.frequency), "vol", QString::number(t.amplitude)});
    return path.toStdString();
}

std::string mp3(const Tone& t) {
    const QString base = describe(t);
    const QString mp3 = folder().filePath(base + ".mp3");
    if (!QFile::exists(mp3)) {
        const std::string wav = tonefiles::wav(t, base + ".wav");
        run("lame", {"--quiet", "-b", "128", QString::fromStdString(wav), mp3});
    }
    return mp3.toStdString();
}

std::string bytes(const QString& name, const QByteArray& bytes) {
    const QString path = folder().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path.toStdString();
}

std::string truncated(const std::string& from, const QString& name, double fraction) {
    QFile f(QString::fromStdString(from));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + from);
    const QByteArray all = f.readAll();
    return bytes(name, all.left(static_cast<qsizetype>(all.size() * fraction)));
}

std::string missing(const QString& name) {
    return folder().filePath(name).toStdString();
}

} // namespace tonefiles
