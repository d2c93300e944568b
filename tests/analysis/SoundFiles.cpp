#include "tests/analysis/SoundFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <stdexcept>

namespace soundfiles {

namespace {

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

void run(const QString& program, const QStringList& args, const QString& stdoutFile) {
    QProcess p;
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(QString("%1 failed: %2")
                                     .arg(program, QString::fromLocal8Bit(p.readAllStandardError()))
                                     .toStdString());
}

std::string pathOf(const QString& name) {
    return folder().filePath(name).toStdString();
}

std::string soxWav(const QString& name, const QStringList& synth, int rate, int channels) {
    const QString path = folder().filePath(name);
    run("sox", QStringList{"-n", "-r", QString::number(rate), "-c", QString::number(channels), "-b",
                           "16", path, "synth"} +
                   synth);
    return path.toStdString();
}

std::string encode(const std::string& wav, const QString& name, const QString& artist,
                   const QString& title) {
    const QString out = folder().filePath(name);
    const QString ext = QFileInfo(name).suffix().toLower();
    const bool tagged = !artist.isEmpty() || !title.isEmpty();
    if (ext == "flac") {
        QStringList args{"-s", "-f", "-o", out};
        if (tagged)
            args << "--tag=ARTIST=" + artist << "--tag=TITLE=" + title;
        run("flac", args << Q(wav));
    } else if (ext == "opus") {
        QStringList args{"--quiet"};
        if (tagged)
            args << "--artist" << artist << "--title" << title;
        run("opusenc", args << Q(wav) << out);
    } else if (ext == "mp3" && !tagged) {
        run("lame", {"--quiet", "-b", "192", Q(wav), out});
    } else if ((ext == "aiff" || ext == "aif") && !tagged) {
        run("sox", {Q(wav), "-t", "aiff", out});
    } else if (ext == "aiff" || ext == "aif") { // ffmpeg's AUTH and NAME chunks
        run("ffmpeg", {"-nostdin", "-v", "error", "-y", "-i", Q(wav), "-metadata",
                       "author=" + artist, "-metadata", "title=" + title, out});
    } else {
        QStringList args{"-nostdin", "-v", "error", "-y", "-i", Q(wav)};
        if (ext == "ogg")
            args << "-c:a"
                 << "libvorbis"
                 << "-q:a"
                 << "5";
        else if (ext == "m4a")
            args << "-c:a"
                 << "aac"
                 << "-b:a"
                 << "160k";
        if (tagged)
            args << "-metadata"
                 << "artist=" + artist << "-metadata"
                 << "title=" + title;
        run("ffmpeg", args << out);
    }
    return out.toStdString();
}

std::string writeBytes(const QString& name, const QByteArray& bytes) {
    const QString path = folder().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    return path.toStdString();
}

QByteArray readBytes(const std::string& path) {
    QFile f(Q(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    return f.readAll();
}

Ebur128 ffmpegLoudness(const std::string& path, double gainDb) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-hide_banner", "-nostats", "-i", Q(path), "-af",
                       QString("volume=%1dB,ebur128=peak=true").arg(gainDb), "-f", "null", "-"});
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        throw std::runtime_error("ffmpeg ebur128 failed on " + path);
    // The summary at the end: "I:  -18.0 LUFS" ... "Peak:  -6.0 dBFS".
    const QString log = QString::fromLocal8Bit(p.readAllStandardError());
    const qsizetype summary = log.lastIndexOf("Summary:");
    const QString tail = log.mid(summary < 0 ? 0 : summary);
    const auto number = [&](const QString& pattern) {
        const QRegularExpressionMatch m = QRegularExpression(pattern).match(tail);
        if (!m.hasMatch())
            throw std::runtime_error("no " + pattern.toStdString() + " in ffmpeg's summary");
        return m.captured(1).toDouble();
    };
    return {number(R"(I:\s+(-?[\d.]+|-inf) LUFS)"), number(R"(Peak:\s+(-?[\d.]+|-inf) dBFS)")};
}

} // namespace soundfiles
