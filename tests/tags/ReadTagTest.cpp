// The two tag readers against files tagged by independent tools, the shared
// peer files, and the edges: padding styles, untagged and short files, and
// files that cannot be opened or read.
#include "PeerTools.h"

#include "decks/tags/Id3v1Tag.h"
#include "decks/tags/QuickTag.h"

#include <QDir>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace std::string_literals;

// A 128-byte block with the given raw field bytes (unset bytes zero).
QByteArray block(const QByteArray& title, const QByteArray& artist, const QByteArray& comment,
                 uint8_t track, uint8_t genre) {
    QByteArray block(128, '\0');
    block.replace(0, 3, "TAG");
    block.replace(3, title.size(), title);
    block.replace(33, artist.size(), artist);
    block.replace(97, comment.size(), comment);
    block[126] = char(track);
    block[127] = char(genre);
    return block;
}

ID3Tag read(const std::string& path) {
    ID3Tag tag;
    EXPECT_TRUE(readTag(path, tag)) << path;
    return tag;
}

TEST(ReadTag, ReadsTagsWrittenByLameId3v2AndMutagen) {
    peer::Workspace ws;
    const std::string lamed = ws.pathOf("lame.mp3");
    peer::run("lame", {"--quiet", "--id3v1-only", "--tt", "Hello", "--ta", "Artist X", "--tl",
                       "Alb", "--ty", "1999", "--tc", "A comment", "--tn", "7", "--tg", "Soul",
                       ws.wav(), QString::fromStdString(lamed)});
    ID3Tag tag = read(lamed);
    EXPECT_TRUE(tag.present);
    EXPECT_EQ(tag.title, "Hello");
    EXPECT_EQ(tag.artist, "Artist X");
    EXPECT_EQ(tag.album, "Alb");
    EXPECT_EQ(tag.year, "1999");
    EXPECT_EQ(tag.comment, "A comment");
    EXPECT_EQ(tag.track, 7);
    EXPECT_EQ(genreName(tag.genre), "Soul");

    const std::string id3v2 = ws.freshMp3("id3v2.mp3");
    peer::run("id3v2", {"-1", "-a", "Art Y", "-t", "Title  Y", "-A", "AlbY", "-y", "2001", "-c",
                        "Com Y", "-T", "3", "-g", "40", QString::fromStdString(id3v2)});
    tag = read(id3v2);
    EXPECT_EQ(tag.title, "Title  Y"); // inner spaces stay
    EXPECT_EQ(tag.artist, "Art Y");
    EXPECT_EQ(tag.track, 3);
    EXPECT_EQ(genreName(tag.genre), "AlternRock");

    const std::string mutagen = ws.freshMp3("mutagen.mp3");
    peer::mutagenAppendV1(mutagen, "Motörhead live", "Beyoncé", "c", 12);
    tag = read(mutagen);
    EXPECT_EQ(tag.title, "Mot\xF6rhead live");
    EXPECT_EQ(tag.artist, "Beyonc\xE9");
    EXPECT_EQ(tag.track, 12);
}

TEST(ReadTitleTag, GivesEachFieldsRawBytesWithTheirZeroPadding) {
    peer::Workspace ws;
    const std::string path = ws.freshMp3("t.mp3");
    peer::run("id3v2", {"-1", "-a", "Artist", "-t", "Title", "-A", "Album", "-y", "2001", "-c",
                        "Comment", "-T", "5", "-g", "12", QString::fromStdString(path)});
    const TitleTag tag = readTitleTag(path);
    EXPECT_EQ(tag.marker, "TAG");
    EXPECT_EQ(tag.title, "Title" + std::string(25, '\0'));
    EXPECT_EQ(tag.artist, "Artist" + std::string(24, '\0'));
    EXPECT_EQ(tag.album, "Album" + std::string(25, '\0'));
    EXPECT_EQ(tag.year, "2001");
    // The quick reader's comment runs through the track byte.
    EXPECT_EQ(tag.comment, "Comment" + std::string(22, '\0') + "\x05");
    EXPECT_EQ(tag.genre, 12);
}

TEST(ReadTag, CleansSpacePaddingOnlyWhenTheFieldHoldsNoZeroByte) {
    peer::Workspace ws;
    const QByteArray audio = peer::fileBytes(ws.freshMp3("a.mp3"));
    const std::string spaces = ws.fileWithBytes(
        "spaces.mp3", audio + block(QByteArray("My  Song").leftJustified(30, ' '),
                                    QByteArray(30, ' '), QByteArray(29, ' '), 0, 255));
    ID3Tag tag = read(spaces);
    EXPECT_EQ(tag.title, "My  Song");
    EXPECT_EQ(tag.artist, "");
    EXPECT_EQ(tag.comment, "");
    EXPECT_EQ(readTitleTag(spaces).title, "My  Song" + std::string(22, ' '));

    // Spaces before the first zero byte belong to the text.
    const std::string mixed =
        ws.fileWithBytes("mixed.mp3", audio + block("Song   ", "X", "", 0, 0));
    EXPECT_EQ(read(mixed).title, "Song   ");

    // 29 comment characters fill the field up to the track byte.
    const std::string full =
        ws.fileWithBytes("full.mp3", audio + block("T", "A", QByteArray(28, 'c') + "!", 9, 1));
    tag = read(full);
    EXPECT_EQ(tag.comment, std::string(28, 'c') + "!");
    EXPECT_EQ(tag.track, 9);
}

TEST(ReadTag, AgreesWithMutagenOnTheSharedPeerFiles) {
    peer::Workspace ws;
    const QDir dir(peer::peerDataFolder());
    int compared = 0;
    for (const QString& name : dir.entryList({"*.mp3"}, QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const std::string path = ws.copyOfPeerFile(name);
        const ID3Tag tag = read(path);
        const QJsonObject theirs = peer::mutagenReadV1(path);
        EXPECT_EQ(tag.present, !theirs.isEmpty());
        if (!tag.present)
            continue;
        ++compared;
        // mutagen also strips spaces that stand before the zero padding; we keep them.
        auto same = [](const std::string& ours, const QJsonValue& value) {
            EXPECT_EQ(QString::fromLatin1(ours).trimmed(), value.toString());
        };
        same(tag.title, theirs["title"]);
        same(tag.artist, theirs["artist"]);
        same(tag.album, theirs["album"]);
        same(tag.comment, theirs["comment"]);
        if (theirs.contains("track")) {
            EXPECT_EQ(QString::number(tag.track), theirs["track"].toString());
        }
        if (theirs.contains("genre")) {
            EXPECT_EQ(genreName(tag.genre), theirs["genre"].toString().toStdString());
        }
    }
    EXPECT_GE(compared, 5);
}

TEST(ReadTag, UntaggedAndShortFilesGiveAnEmptyTag) {
    peer::Workspace ws;
    const std::string untagged = ws.freshMp3("plain.mp3");
    ID3Tag tag;
    tag.title = "stale";
    EXPECT_TRUE(readTag(untagged, tag));
    EXPECT_FALSE(tag.present);
    EXPECT_EQ(tag.title, "");
    EXPECT_EQ(tag.genre, 255);
    EXPECT_NE(readTitleTag(untagged).marker, "TAG");

    const std::string empty = ws.fileWithBytes("empty.mp3", "");
    EXPECT_FALSE(read(empty).present);
    const TitleTag zeros = readTitleTag(empty);
    EXPECT_EQ(zeros.title, std::string(30, '\0'));
    EXPECT_EQ(zeros.genre, 0);

    const std::string tiny = ws.fileWithBytes("tiny.mp3", "TA");
    EXPECT_FALSE(read(tiny).present);
    EXPECT_EQ(readTitleTag(tiny).marker, "TA"s + '\0');

    // A file that is nothing but a tag block (a tag written to an empty file).
    const std::string onlyTag = ws.fileWithBytes("only.mp3", block("Only", "Tag", "", 1, 2));
    EXPECT_EQ(read(onlyTag).title, "Only");
    EXPECT_EQ(readTitleTag(onlyTag).artist, "Tag" + std::string(27, '\0'));

    // Shorter than a block: read from the start by the quick reader, no tag for ReadTag.
    const std::string shortTag = ws.fileWithBytes("short.mp3", block("S", "", "", 0, 0).left(100));
    EXPECT_EQ(readTitleTag(shortTag).title, "S" + std::string(29, '\0'));
    EXPECT_FALSE(read(shortTag).present);
}

TEST(ReadTag, FilesThatCannotBeOpenedOrReadFailCleanly) {
    peer::Workspace ws;
    const std::string missing = ws.pathOf("missing.mp3");
    ID3Tag tag;
    EXPECT_FALSE(readTag(missing, tag));
    EXPECT_FALSE(readTag(ws.pathOf(""), tag)); // the folder itself
    try {
        readTitleTag(missing);
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.what(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_THROW(readTitleTag(ws.pathOf("")), EFOpenError);

    // A named pipe with no writer must not block the reader.
    const std::string fifo = ws.pathOf("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readTag(fifo, tag));
    EXPECT_THROW(readTitleTag(fifo), EFOpenError);

    // Opens as a regular file, but every read fails with EIO.
    EXPECT_THROW(readTag("/proc/self/mem", tag), EInOutError);
    EXPECT_THROW(readTitleTag("/proc/self/mem"), EInOutError);
}

} // namespace
