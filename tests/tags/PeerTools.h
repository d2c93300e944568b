#pragma once

#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <string>

// Real MP3 files and independent tag tools for the tag tests: sox and lame
// make the audio, lame, id3v2 and mutagen write and read ID3v1 tags.
namespace peer {

// Runs a program (no shell) and returns its standard output; fails the
// current test when it cannot start or exits non-zero.
QByteArray run(const QString& program, const QStringList& args);

// A temporary folder for one test with a fresh untagged MP3 in it.
class Workspace {
public:
    Workspace();
    // A copy of the untagged MP3 (lame's output, about 0.2 s of a sine tone).
    std::string freshMp3(const QString& name);
    // A copy of a file from the shared peer data (writable, in this folder).
    std::string copyOfPeerFile(const QString& name);
    // A file with exactly these bytes.
    std::string fileWithBytes(const QString& name, const QByteArray& bytes);
    std::string pathOf(const QString& name) const;
    QString wav() const;

private:
    QTemporaryDir dir_;
};

// mutagen's ID3v1 reading of the file's last 128 bytes: keys title, artist,
// album, year, comment, track, genre (names); an empty object when mutagen
// finds no tag.
// The folder of the shared peer files, beside the checkout.
QString peerDataFolder();

QJsonObject mutagenReadV1(const std::string& path);

// Appends an ID3v1 tag made by mutagen (texts encoded as Latin-1).
void mutagenAppendV1(const std::string& path, const QString& title, const QString& artist,
                     const QString& comment, int track);

QByteArray fileBytes(const std::string& path);
qint64 fileSize(const std::string& path);

} // namespace peer
