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
QByteArray Block(const QByteArray& title, const QByteArray& artist, const QByteArray& comment,
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

ID3Tag Read(const std::string& path) {
    ID3Tag tag;
    EXPECT_TRUE(ReadTag(path, tag)) << path;
    return tag;
}

TEST(ReadTag, ReadsTagsWrittenByLameId3v2AndMutagen) {
    peer::Workspace ws;
    const std::string lamed = ws.PathOf("lame.mp3");
    peer::Run("lame", {"--quiet", "--id3v1-only", "--tt", "Hello", "--ta", "Artist X", "--tl",
                       "Alb", "--ty", "1999", "--tc", "A comment", "--tn", "7", "--tg", "Soul",
                       ws.Wav(), QString::fromStdString(lamed)});
    ID3Tag tag = Read(lamed);
    EXPECT_TRUE(tag.present);
    EXPECT_EQ(tag.title, "Hello");
    EXPECT_EQ(tag.artist, "Artist X");
    EXPECT_EQ(tag.album, "Alb");
    EXPECT_EQ(tag.year, "1999");
    EXPECT_EQ(tag.comment, "A comment");
    EXPECT_EQ(tag.track, 7);
    EXPECT_EQ(GenreName(tag.genre), "Soul");

    const std::string id3v2 = ws.FreshMp3("id3v2.mp3");
    peer::Run("id3v2", {"-1", "-a", "Art Y", "-t", "Title  Y", "-A", "AlbY", "-y", "2001", "-c",
                        "Com Y", "-T", "3", "-g", "40", QString::fromStdString(id3v2)});
    tag = Read(id3v2);
    EXPECT_EQ(tag.title, "Title  Y"); // inner spaces stay
    EXPECT_EQ(tag.artist, "Art Y");
    EXPECT_EQ(tag.track, 3);
    EXPECT_EQ(GenreName(tag.genre), "AlternRock");

    const std::string mutagen = ws.FreshMp3("mutagen.mp3");
    peer::MutagenAppendV1(mutagen, "Motörhead live", "Beyoncé", "c", 12);
    tag = Read(mutagen);
    EXPECT_EQ(tag.title, "Mot\xF6rhead live");
    EXPECT_EQ(tag.artist, "Beyonc\xE9");
    EXPECT_EQ(tag.track, 12);
}

TEST(ReadTitleTag, GivesEachFieldsRawBytesWithTheirZeroPadding) {
    peer::Workspace ws;
    const std::string path = ws.FreshMp3("t.mp3");
    peer::Run("id3v2", {"-1", "-a", "Artist", "-t", "Title", "-A", "Album", "-y", "2001", "-c",
                        "Comment", "-T", "5", "-g", "12", QString::fromStdString(path)});
    const TitleTag tag = ReadTitleTag(path);
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
    const QByteArray audio = peer::FileBytes(ws.FreshMp3("a.mp3"));
    const std::string spaces = ws.FileWithBytes(
        "spaces.mp3", audio + Block(QByteArray("My  Song").leftJustified(30, ' '),
                                    QByteArray(30, ' '), QByteArray(29, ' '), 0, 255));
    ID3Tag tag = Read(spaces);
    EXPECT_EQ(tag.title, "My  Song");
    EXPECT_EQ(tag.artist, "");
    EXPECT_EQ(tag.comment, "");
    EXPECT_EQ(ReadTitleTag(spaces).title, "My  Song" + std::string(22, ' '));

    // Spaces before the first zero byte belong to the text.
    const std::string mixed =
        ws.FileWithBytes("mixed.mp3", audio + Block("Song   ", "X", "", 0, 0));
    EXPECT_EQ(Read(mixed).title, "Song   ");

    // 29 comment characters fill the field up to the track byte.
    const std::string full =
        ws.FileWithBytes("full.mp3", audio + Block("T", "A", QByteArray(28, 'c') + "!", 9, 1));
    tag = Read(full);
    EXPECT_EQ(tag.comment, std::string(28, 'c') + "!");
    EXPECT_EQ(tag.track, 9);
}

TEST(ReadTag, AgreesWithMutagenOnTheSharedPeerFiles) {
    peer::Workspace ws;
    const QDir dir(peer::PeerDataFolder());
    int compared = 0;
    for (const QString& name : dir.entryList({"*.mp3"}, QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const std::string path = ws.CopyOfPeerFile(name);
        const ID3Tag tag = Read(path);
        const QJsonObject theirs = peer::MutagenReadV1(path);
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
            EXPECT_EQ(GenreName(tag.genre), theirs["genre"].toString().toStdString());
        }
    }
    EXPECT_GE(compared, 5);
}

TEST(ReadTag, UntaggedAndShortFilesGiveAnEmptyTag) {
    peer::Workspace ws;
    const std::string untagged = ws.FreshMp3("plain.mp3");
    ID3Tag tag;
    tag.title = "stale";
    EXPECT_TRUE(ReadTag(untagged, tag));
    EXPECT_FALSE(tag.present);
    EXPECT_EQ(tag.title, "");
    EXPECT_EQ(tag.genre, 255);
    EXPECT_NE(ReadTitleTag(untagged).marker, "TAG");

    const std::string empty = ws.FileWithBytes("empty.mp3", "");
    EXPECT_FALSE(Read(empty).present);
    const TitleTag zeros = ReadTitleTag(empty);
    EXPECT_EQ(zeros.title, std::string(30, '\0'));
    EXPECT_EQ(zeros.genre, 0);

    const std::string tiny = ws.FileWithBytes("tiny.mp3", "TA");
    EXPECT_FALSE(Read(tiny).present);
    EXPECT_EQ(ReadTitleTag(tiny).marker, "TA"s + '\0');

    // A file that is nothing but a tag block (a tag written to an empty file).
    const std::string onlyTag = ws.FileWithBytes("only.mp3", Block("Only", "Tag", "", 1, 2));
    EXPECT_EQ(Read(onlyTag).title, "Only");
    EXPECT_EQ(ReadTitleTag(onlyTag).artist, "Tag" + std::string(27, '\0'));

    // Shorter than a block: read from the start by the quick reader, no tag for ReadTag.
    const std::string shortTag = ws.FileWithBytes("short.mp3", Block("S", "", "", 0, 0).left(100));
    EXPECT_EQ(ReadTitleTag(shortTag).title, "S" + std::string(29, '\0'));
    EXPECT_FALSE(Read(shortTag).present);
}

TEST(ReadTag, FilesThatCannotBeOpenedOrReadFailCleanly) {
    peer::Workspace ws;
    const std::string missing = ws.PathOf("missing.mp3");
    ID3Tag tag;
    EXPECT_FALSE(ReadTag(missing, tag));
    EXPECT_FALSE(ReadTag(ws.PathOf(""), tag)); // the folder itself
    try {
        ReadTitleTag(missing);
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.what(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_THROW(ReadTitleTag(ws.PathOf("")), EFOpenError);

    // A named pipe with no writer must not block the reader.
    const std::string fifo = ws.PathOf("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadTag(fifo, tag));
    EXPECT_THROW(ReadTitleTag(fifo), EFOpenError);

    // Opens as a regular file, but every read fails with EIO.
    EXPECT_THROW(ReadTag("/proc/self/mem", tag), EInOutError);
    EXPECT_THROW(ReadTitleTag("/proc/self/mem"), EInOutError);
}

} // namespace
