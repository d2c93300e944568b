// The writer: appending versus overwriting, what other readers see of the
// written tag, field limits, Windows-1252 text, and files it must not touch.
#include "PeerTools.h"

#include "decks/tags/Id3v1Tag.h"
#include "platform/Ansi1252.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

ID3Tag makeTag(const std::string& title, const std::string& artist) {
    ID3Tag tag;
    tag.title = title;
    tag.artist = artist;
    tag.album = "Album";
    tag.year = "2024";
    tag.comment = "Comment";
    tag.track = 4;
    tag.genre = 42;
    return tag;
}

TEST(WriteTag, AppendsOnceThenOverwritesAndMutagenReadsIt) {
    peer::Workspace ws;
    const std::string path = ws.freshMp3("a.mp3");
    const QByteArray audio = peer::fileBytes(path);

    ASSERT_TRUE(writeTag(path, makeTag("First", "Someone")));
    const QByteArray once = peer::fileBytes(path);
    EXPECT_EQ(once.size(), audio.size() + 128);
    EXPECT_TRUE(once.startsWith(audio));
    QJsonObject theirs = peer::mutagenReadV1(path);
    EXPECT_EQ(theirs["title"].toString(), "First");
    EXPECT_EQ(theirs["artist"].toString(), "Someone");
    EXPECT_EQ(theirs["album"].toString(), "Album");
    EXPECT_EQ(theirs["year"].toString(), "2024");
    EXPECT_EQ(theirs["comment"].toString(), "Comment");
    EXPECT_EQ(theirs["track"].toString(), "4");
    EXPECT_EQ(theirs["genre"].toString(), "Soul");

    ASSERT_TRUE(writeTag(path, makeTag("Second", "Other")));
    EXPECT_EQ(peer::fileSize(path), once.size());
    EXPECT_TRUE(peer::fileBytes(path).startsWith(audio));
    theirs = peer::mutagenReadV1(path);
    EXPECT_EQ(theirs["title"].toString(), "Second");
    EXPECT_EQ(theirs["artist"].toString(), "Other");

    ID3Tag back;
    ASSERT_TRUE(readTag(path, back));
    EXPECT_TRUE(back.present);
    EXPECT_EQ(back.title, "Second");
    EXPECT_EQ(back.comment, "Comment");
    EXPECT_EQ(back.track, 4);
    EXPECT_EQ(back.genre, 42);
}

TEST(WriteTag, ReplacesTagsOfOtherToolsAndKeepsTheRestOfTheFile) {
    peer::Workspace ws;
    const std::string id3v2 = ws.freshMp3("id3v2.mp3");
    peer::run("id3v2", {"-1", "-t", "Old title that is quite long", "-a", "Old",
                        QString::fromStdString(id3v2)});
    const QByteArray before = peer::fileBytes(id3v2);
    ASSERT_TRUE(writeTag(id3v2, makeTag("New", "")));
    const QByteArray after = peer::fileBytes(id3v2);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.left(before.size() - 128), before.left(before.size() - 128));
    // The old, longer title leaves nothing behind the new one.
    EXPECT_EQ(after.mid(after.size() - 125, 30), QByteArray("New").leftJustified(30, '\0'));
    EXPECT_EQ(peer::mutagenReadV1(id3v2)["title"].toString(), "New");

    // ID3v2 at the front, ID3v1 at the end: only the last 128 bytes change.
    const std::string combined = ws.copyOfPeerFile("mutagen-id3v1v2-combined.mp3");
    const QByteArray original = peer::fileBytes(combined);
    ASSERT_TRUE(writeTag(combined, makeTag("Cosmic", "Anais")));
    const QByteArray rewritten = peer::fileBytes(combined);
    ASSERT_EQ(rewritten.size(), original.size());
    EXPECT_EQ(rewritten.left(original.size() - 128), original.left(original.size() - 128));
}

TEST(WriteTag, CutsTextsToTheirFieldsWithoutTouchingTheNext) {
    peer::Workspace ws;
    const std::string path = ws.freshMp3("long.mp3");
    ID3Tag tag = makeTag(std::string(40, 't'), std::string(31, 'a'));
    tag.album = std::string(30, 'b');
    tag.year = "19999";
    tag.comment = std::string(35, 'c');
    tag.track = 7;
    tag.genre = 255;
    ASSERT_TRUE(writeTag(path, tag));
    const QByteArray block = peer::fileBytes(path).right(128);
    EXPECT_EQ(block.mid(3, 30), QByteArray(30, 't'));
    EXPECT_EQ(block.mid(33, 30), QByteArray(30, 'a'));
    EXPECT_EQ(block.mid(63, 30), QByteArray(30, 'b'));
    EXPECT_EQ(block.mid(93, 4), "1999");
    // A 29-character comment fills the field: no zero byte before the track.
    EXPECT_EQ(block.mid(97, 29), QByteArray(29, 'c'));
    EXPECT_EQ(uint8_t(block[126]), 7);
    EXPECT_EQ(uint8_t(block[127]), 255);

    ID3Tag back;
    ASSERT_TRUE(readTag(path, back));
    EXPECT_EQ(back.title, std::string(30, 't'));
    EXPECT_EQ(back.year, "1999");
    EXPECT_EQ(back.comment, std::string(29, 'c'));
    EXPECT_EQ(back.track, 7);
}

TEST(WriteTag, WindowsAnsiTextSurvivesAndOtherReadersSeeIt) {
    peer::Workspace ws;
    const std::string path = ws.freshMp3("ansi.mp3");
    const QString artist = QString::fromUtf8("Beyoncé & Motörhead");
    const QString title = QString::fromUtf8("€ 5 – “Live”");
    ASSERT_TRUE(writeTag(path, makeTag(qStringToAnsi(title), qStringToAnsi(artist))));
    const QByteArray block = peer::fileBytes(path).right(128);
    EXPECT_EQ(block.mid(3, 12), QByteArray("\x80 5 \x96 \x93Live\x94"));

    ID3Tag back;
    ASSERT_TRUE(readTag(path, back));
    EXPECT_EQ(ansiToQString(back.title), title);
    EXPECT_EQ(ansiToQString(back.artist), artist);
    // mutagen reads ID3v1 as Latin-1, which agrees with Windows-1252 above 0x9F.
    EXPECT_EQ(peer::mutagenReadV1(path)["artist"].toString(), artist);
}

TEST(WriteTag, EmptyFileGetsOneBlockThatLaterWritesReplace) {
    peer::Workspace ws;
    const std::string path = ws.fileWithBytes("empty.mp3", "");
    ASSERT_TRUE(writeTag(path, makeTag("One", "")));
    EXPECT_EQ(peer::fileSize(path), 128);
    ASSERT_TRUE(writeTag(path, makeTag("Two", "")));
    EXPECT_EQ(peer::fileSize(path), 128);
    ID3Tag back;
    ASSERT_TRUE(readTag(path, back));
    EXPECT_EQ(back.title, "Two");

    const std::string tiny = ws.fileWithBytes("tiny.mp3", "xy");
    ASSERT_TRUE(writeTag(tiny, makeTag("T", "")));
    ASSERT_TRUE(writeTag(tiny, makeTag("U", "")));
    EXPECT_EQ(peer::fileSize(tiny), 130);
    EXPECT_TRUE(peer::fileBytes(tiny).startsWith("xyTAGU"));
}

TEST(WriteTag, LeavesFilesItMayNotWriteAlone) {
    peer::Workspace ws;
    const std::string path = ws.freshMp3("ro.mp3");
    peer::run("id3v2", {"-1", "-t", "Protected", QString::fromStdString(path)});
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const QByteArray before = peer::fileBytes(path);
    EXPECT_FALSE(writeTag(path, makeTag("Changed", "")));
    EXPECT_EQ(peer::fileBytes(path), before);

    const std::string missing = ws.pathOf("missing.mp3");
    EXPECT_FALSE(writeTag(missing, makeTag("x", "")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
    EXPECT_FALSE(writeTag(ws.pathOf(""), makeTag("x", ""))); // a folder
}

} // namespace
