#include "tests/decks/ToneFiles.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tonefiles {

namespace {

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

void Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QString("%1 failed: %2")
                                     .arg(program, QString::fromLocal8Bit(p.readAllStandardError()))
                                     .toStdString());
}

QString Describe(const Tone& t) {
    return QString("tone_%1Hz_%2s_%3_%4ch_%5")
        .arg(t.frequency)
        .arg(t.seconds)
        .arg(t.rate)
        .arg(t.channels)
        .arg(t.amplitude);
}

} // namespace

std::string Wav(const Tone& t, const QString& name) {
    const QString path = Folder().filePath(name);
    if (!QFile::exists(path))
        Run("sox", {"-n", "-r", QString::number(t.rate), "-c", QString::number(t.channels), "-t",
                    "wav", path, "synth", QString::number(t.seconds), "sine",
                    QString::number(t.frequency), "vol", QString::number(t.amplitude)});
    return path.toStdString();
}

std::string Mp3(const Tone& t) {
    const QString base = Describe(t);
    const QString mp3 = Folder().filePath(base + ".mp3");
    if (!QFile::exists(mp3)) {
        const std::string wav = Wav(t, base + ".wav");
        Run("lame", {"--quiet", "-b", "128", QString::fromStdString(wav), mp3});
    }
    return mp3.toStdString();
}

std::string Bytes(const QString& name, const QByteArray& bytes) {
    const QString path = Folder().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path.toStdString();
}

std::string Truncated(const std::string& from, const QString& name, double fraction) {
    QFile f(QString::fromStdString(from));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + from);
    const QByteArray all = f.readAll();
    return Bytes(name, all.left(static_cast<qsizetype>(all.size() * fraction)));
}

std::string Missing(const QString& name) {
    return Folder().filePath(name).toStdString();
}

} // namespace tonefiles
