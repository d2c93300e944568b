// Titles from the tags of each format, else the file name.
#include "analysis/TrackTitle.h"
#include "tests/analysis/SoundFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(TrackTitleTest, ArtistAndTitleFromEachFormatsTags) {
    const std::string wav = soundfiles::soxWav("titled.wav", {"1", "sine", "440", "vol", "0.5"});
    for (const QString& name : {QString("t.flac"), QString("t.ogg"), QString("t.m4a"),
                                QString("t.opus"), QString("t.wav"), QString("T.AIFF")}) {
        const std::string path = soundfiles::encode(wav, name, "Zoë Artist", "Night – Song");
        EXPECT_EQ(analysis::trackTitle(path), QString("Zoë Artist - Night – Song"))
            << name.toStdString();
    }
    // An AIFF tagged in an ID3 chunk rather than in its own text chunks.
    const std::string id3Aiff = soundfiles::pathOf("id3.aif");
    soundfiles::run("ffmpeg", {"-nostdin", "-v", "error", "-y", "-i", QString::fromStdString(wav),
                               "-write_id3v2", "1", "-metadata", "artist=Zoë Artist", "-metadata",
                               "title=Night – Song", QString::fromStdString(id3Aiff)});
    EXPECT_EQ(analysis::trackTitle(id3Aiff), QString("Zoë Artist - Night – Song"));
    // Chunks that claim more bytes than the file holds name nothing.
    QByteArray cut = soundfiles::readBytes(soundfiles::encode(wav, "cut.wav", "A", "T"));
    cut.truncate(0x30);
    EXPECT_EQ(analysis::trackTitle(soundfiles::writeBytes("cut.wav", cut)), QString("cut.wav"));
    const std::string untagged = soundfiles::encode(wav, "Untagged Song.FLAC");
    EXPECT_FALSE(analysis::tagTitle(untagged));
    EXPECT_EQ(analysis::trackTitle(untagged), QString("Untagged Song.FLAC"));
    EXPECT_EQ(analysis::trackTitle(soundfiles::writeBytes("junk.ogg", "not ogg")),
              QString("junk.ogg"));
}

} // namespace
