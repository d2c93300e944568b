// Every format the decks play, decoded through the factory's choice of
// decoder: pitch, level, length, and refusals of what cannot be played.
#include "ffmpeg/FfmpegDecoder.h"
#include "platform/audio/MediaError.h"
#include "platform/audio/TrackDecoder.h"
#include "tests/analysis/SoundFiles.h"
#include "tests/support/SignalMeasure.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using audio::StereoFrame;

std::vector<StereoFrame> decodeAll(audio::TrackDecoder& decoder) {
    std::vector<StereoFrame> all;
    std::vector<StereoFrame> chunk(1000); // odd size: chunk borders fall anywhere
    while (!decoder.finished()) {
        const std::size_t got = decoder.decode(chunk.data(), chunk.size());
        all.insert(all.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(got));
    }
    return all;
}

const std::string& stereoTone() {
    static const std::string wav =
        soundfiles::soxWav("tone.wav", {"3", "sine", "1000", "vol", "0.5"});
    return wav;
}

struct Case {
    const char* name; // file name; its extension picks the encoder and decoder
    double frequency;
    // Exact to the encoder (codec delay and padding not counted), except raw
    // AAC, which has nowhere to say how much the encoder added.
    double lengthToleranceSeconds = 0.002;
};

class FormatDecodeTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatDecodeTest, DecodesAtPitchWithItsLength) {
    const Case c = GetParam();
    std::string path;
    if (c.frequency == 440) {
        // Mono at 48 kHz: resampled, and doubled to both sides at full level.
        const std::string wav =
            soundfiles::soxWav("mono48k.wav", {"3", "sine", "440", "vol", "0.5"}, 48000, 1);
        path = soundfiles::encode(wav, c.name);
    } else {
        path = soundfiles::encode(stereoTone(), c.name);
    }
    std::unique_ptr<audio::TrackDecoder> decoder = audio::makeTrackDecoder(path);
    decoder->open(path);
    const std::int64_t length = decoder->lengthFrames();
    EXPECT_NEAR(double(length), 3.0 * audio::kOutputRate,
                c.lengthToleranceSeconds * audio::kOutputRate);
    const std::vector<StereoFrame> frames = decodeAll(*decoder);
    EXPECT_EQ(std::int64_t(frames.size()), length) << "the stated length is what Decode gives";

    const std::vector<float> left = measure::left(frames, 22050, 44100);
    std::vector<float> right;
    for (std::size_t i = 22050; i < 22050 + 44100; ++i)
        right.push_back(frames[i].right);
    EXPECT_NEAR(measure::zeroCrossingFrequency(left, audio::kOutputRate), c.frequency,
                c.frequency * 0.01);
    EXPECT_NEAR(measure::rms(left), 0.5 / std::sqrt(2.0), 0.05);
    EXPECT_NEAR(measure::rms(right), measure::rms(left), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatDecodeTest,
                         ::testing::Values(Case{"tone.flac", 1000}, Case{"tone.ogg", 1000},
                                           Case{"tone.opus", 1000}, Case{"tone_copy.wav", 1000},
                                           Case{"tone.aiff", 1000}, Case{"tone.m4a", 1000},
                                           Case{"SONG.MP3", 1000}, Case{"MONO.FLAC", 440},
                                           Case{"mono.m4a", 440}, Case{"raw.aac", 1000, 0.05}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == '.')
                                     ch = '_';
                             return name;
                         });

TEST(FfmpegDecoderTest, CountsTheLengthOfAFlacThatStatesNone) {
    // Written to a pipe, the encoder cannot go back to note the sample count.
    const std::string path = soundfiles::pathOf("piped.flac");
    soundfiles::run("ffmpeg",
                    {"-nostdin", "-v", "error", "-i", QString::fromStdString(stereoTone()), "-f",
                     "flac", "pipe:1"},
                    QString::fromStdString(path));
    audio::FfmpegDecoder decoder;
    decoder.open(path);
    EXPECT_EQ(decoder.lengthFrames(), 3 * audio::kOutputRate);
}

TEST(FfmpegDecoderTest, AFlacClaimingMoreSamplesThanItHoldsHasTheLengthOfItsFrames) {
    // STREAMINFO's sample count is the low 36 bits of bytes 18..25 of the
    // file: set to all ones it claims 25971 minutes for 3 s of sound.
    QByteArray bytes = soundfiles::readBytes(soundfiles::encode(stereoTone(), "honest.flac"));
    bytes[21] = char(bytes[21] | 0x0f);
    for (int i = 22; i < 26; ++i)
        bytes[i] = char(0xff);
    const std::string forged = soundfiles::writeBytes("forged.flac", bytes);
    audio::FfmpegDecoder decoder;
    decoder.open(forged);
    EXPECT_NEAR(double(decoder.lengthFrames()), 3.0 * audio::kOutputRate, 4096);
}

TEST(FfmpegDecoderTest, RefusesWhatCannotBePlayedWithAPlainText) {
    const std::string flac = soundfiles::encode(stereoTone(), "good.flac");
    const QByteArray good = soundfiles::readBytes(flac);
    QByteArray garbage(200000, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) * 31 % 251);
    // Headers intact, audio overwritten; only the marker; random bytes; empty;
    // missing; a playlist in disguise, which would fetch what it lists.
    const std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:3,\ngood.flac\n"
                                 "#EXT-X-ENDLIST\n";
    const std::vector<std::string> bad = {
        soundfiles::writeBytes("playlist.ogg", QByteArray::fromStdString(playlist)),
        soundfiles::writeBytes("damaged.flac", good.left(42) + garbage),
        soundfiles::writeBytes("marker.flac", "fLaC"),
        soundfiles::writeBytes("random.ogg", garbage),
        soundfiles::writeBytes("empty.m4a", {}),
        soundfiles::pathOf("missing.flac"),
    };
    for (const std::string& path : bad) {
        audio::FfmpegDecoder decoder;
        try {
            decoder.open(path);
            ADD_FAILURE() << path << " opened";
        } catch (const audio::MediaError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_FALSE(decoder.isOpen());
        }
    }
}

TEST(FfmpegDecoderTest, PlaysATruncatedFileUpToWhereItBreaks) {
    const QByteArray whole = soundfiles::readBytes(soundfiles::encode(stereoTone(), "whole.flac"));
    const std::string half = soundfiles::writeBytes("half.flac", whole.left(whole.size() / 2));
    std::unique_ptr<audio::TrackDecoder> decoder = audio::makeTrackDecoder(half);
    decoder->open(half);
    const std::size_t got = decodeAll(*decoder).size();
    EXPECT_GT(got, std::size_t(audio::kOutputRate)); // about 1.5 s of 3
    EXPECT_LT(got, std::size_t(2 * audio::kOutputRate));
    // Its length is where its frames end, not the 3 s its header states.
    EXPECT_NEAR(double(got), double(decoder->lengthFrames()), 4096);
}

TEST(TrackDecoderTest, ChoosesByExtensionWithoutRegardToCase) {
    for (const char* path : {"a/SONG.MP3", "b.flac", "C.Flac", "d.ogg", "e.OPUS", "f.wav", "g.aiff",
                             "h.aif", "i.m4a", "j.AAC", "k.oga"})
        EXPECT_TRUE(audio::isPlayableExtension(path)) << path;
    for (const char* path : {"notes.txt", "mp3", "folder.mp3/cover", "x.mp3.part", "clip.mp4"})
        EXPECT_FALSE(audio::isPlayableExtension(path)) << path;
    EXPECT_TRUE(audio::isMp3Extension("/music/SONG.Mp3"));
    EXPECT_FALSE(audio::isMp3Extension("/music/song.flac"));
    // A WAV named .mp3 goes to the MP3 decoder, which refuses it as before.
    const std::string wavAsMp3 = soundfiles::encode(stereoTone(), "wav_named.MP3.wav");
    const std::string renamed =
        soundfiles::writeBytes("renamed.MP3", soundfiles::readBytes(wavAsMp3));
    EXPECT_THROW(audio::makeTrackDecoder(renamed)->open(renamed), audio::MediaError);
}

} // namespace
