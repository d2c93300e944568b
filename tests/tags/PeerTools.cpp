#include "PeerTools.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

namespace peer {

namespace {

// The shared peer files lie beside the checkout.
const char* kPeerData = KV_SOURCE_DIR "/../shared/peer-data/id3v1";
// Debian's interpreter: python3-mutagen is installed for it.
const char* kPython = "/usr/bin/python3";

const char* kReadV1 = R"(
import json, sys
from mutagen.id3 import ParseID3v1
frames = ParseID3v1(open(sys.argv[1], 'rb').read()[-128:]) or {}
names = {'TIT2': 'title', 'TPE1': 'artist', 'TALB': 'album', 'TDRC': 'year',
         'COMM': 'comment', 'TRCK': 'track'}
out = {names[k]: str(v) for k, v in frames.items() if k in names}
if 'TCON' in frames:
    out['genre'] = frames['TCON'].genres[0]
print(json.dumps(out))
)";

const char* kAppendV1 = R"(
import sys
from mutagen.id3 import MakeID3v1, TIT2, TPE1, COMM, TRCK
path, title, artist, comment, track = sys.argv[1:6]
frames = {'TIT2': TIT2(text=title), 'TPE1': TPE1(text=artist),
          'COMM': COMM(text=comment), 'TRCK': TRCK(text=track)}
open(path, 'ab').write(MakeID3v1(frames))
)";

} // namespace

QByteArray run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    const bool finished = process.waitForFinished(60000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

Workspace::Workspace() {
    run("sox", {"-n", "-r", "44100", "-c", "2", wav(), "synth", "0.2", "sine", "440"});
    run("lame", {"--quiet", wav(), dir_.filePath("untagged.mp3")});
}

QString Workspace::wav() const {
    return dir_.filePath("tone.wav");
}

std::string Workspace::pathOf(const QString& name) const {
    return dir_.filePath(name).toStdString();
}

std::string Workspace::freshMp3(const QString& name) {
    QFile::copy(dir_.filePath("untagged.mp3"), dir_.filePath(name));
    return pathOf(name);
}

std::string Workspace::copyOfPeerFile(const QString& name) {
    const QString copy = dir_.filePath(name);
    QFile::copy(QString(kPeerData) + "/" + name, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy.toStdString();
}

std::string Workspace::fileWithBytes(const QString& name, const QByteArray& bytes) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return pathOf(name);
}

QString peerDataFolder() {
    return QString::fromUtf8(kPeerData);
}

QJsonObject mutagenReadV1(const std::string& path) {
    const QByteArray out = run(kPython, {"-c", kReadV1, QString::fromStdString(path)});
    return QJsonDocument::fromJson(out).object();
}

void mutagenAppendV1(const std::string& path, const QString& title, const QString& artist,
                     const QString& comment, int track) {
    run(kPython, {"-c", kAppendV1, QString::fromStdString(path), title, artist, comment,
                  QString::number(track)});
}

QByteArray fileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 fileSize(const std::string& path) {
    return QFile(QString::fromStdString(path)).size();
}

} // namespace peer
