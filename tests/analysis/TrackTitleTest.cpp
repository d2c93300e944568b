// Titles from the tags of each format, else the file name.
#include "analysis/TrackTitle.h"
#include "tests/analysis/SoundFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(TrackTitleTest, ArtistAndTitleFromEachFormatsTags) {
    const std::string wav = soundfiles::SoxWav("titled.wav", {"1", "sine", "440", "vol", "0.5"});
    for (const QString& name :
         {QString("t.flac"), QString("t.ogg"), QString("t.m4a"), QString("t.opus")}) {
        const std::string path = soundfiles::Encode(wav, name, "Zoë Artist", "Night – Song");
        EXPECT_EQ(analysis::TrackTitle(path), QString("Zoë Artist - Night – Song"))
            << name.toStdString();
    }
    const std::string untagged = soundfiles::Encode(wav, "Untagged Song.FLAC");
    EXPECT_FALSE(analysis::TagTitle(untagged));
    EXPECT_EQ(analysis::TrackTitle(untagged), QString("Untagged Song.FLAC"));
    EXPECT_EQ(analysis::TrackTitle(soundfiles::WriteBytes("junk.ogg", "not ogg")),
              QString("junk.ogg"));
}

} // namespace
