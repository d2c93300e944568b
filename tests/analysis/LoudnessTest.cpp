// Loudness, true peak, silence ends and the gain derived from them, checked
// against ffmpeg's ebur128 filter on the same files.
#include "analysis/LoudnessAnalysis.h"
#include "analysis/ReplayGainTag.h"
#include "analysis/TrackGain.h"
#include "platform/audio/MediaError.h"
#include "tests/analysis/SoundFiles.h"

#include <cmath>
#include <gtest/gtest.h>
#include <taglib/mp4file.h>

namespace {

using analysis::analyseLoudness;
using analysis::LoudnessResult;

TEST(LoudnessTest, TracksTwentyLuApartAreGainedToTheSameLoudness) {
    const std::string loud = soundfiles::encode(
        soundfiles::soxWav("loud.wav", {"20", "sine", "1000", "vol", "0.5"}), "loud.flac");
    const std::string quiet = soundfiles::encode(
        soundfiles::soxWav("quiet.wav", {"20", "sine", "1000", "vol", "0.05"}), "quiet.mp3");
    const LoudnessResult a = analyseLoudness(loud);
    const LoudnessResult b = analyseLoudness(quiet);
    EXPECT_NEAR(a.integratedLufs - b.integratedLufs, 20, 0.5);
    const double gainA = analysis::trackGainDb(a.integratedLufs, a.truePeakDbtp);
    const double gainB = analysis::trackGainDb(b.integratedLufs, b.truePeakDbtp);
    // The oracle measures each file with our gain applied.
    const soundfiles::Ebur128 gainedA = soundfiles::ffmpegLoudness(loud, gainA);
    const soundfiles::Ebur128 gainedB = soundfiles::ffmpegLoudness(quiet, gainB);
    EXPECT_NEAR(gainedA.integratedLufs, analysis::kTargetLufs, 0.5);
    EXPECT_NEAR(gainedB.integratedLufs, analysis::kTargetLufs, 0.5);
    EXPECT_NEAR(gainedA.integratedLufs, gainedB.integratedLufs, 0.5);
    EXPECT_NEAR(analysis::gainFactor(-6.0206), 0.5, 1e-4);
}

TEST(LoudnessTest, APeakyTracksGainStopsAtTheTruePeakCeiling) {
    // A quiet tone (about -26 LUFS) with a short burst near full scale: the
    // loudness alone would ask for +8 dB.
    const std::string wav = soundfiles::soxWav("peaky.wav", {"10", "sine", "1000", "vol", "0.05"});
    const std::string burst =
        soundfiles::soxWav("burst.wav", {"0.01", "sine", "3000", "vol", "0.9"});
    const std::string peaky = soundfiles::pathOf("peaky_mix.flac");
    soundfiles::run("sox", {QString::fromStdString(wav), QString::fromStdString(burst),
                            QString::fromStdString(peaky)});
    const LoudnessResult r = analyseLoudness(peaky);
    const soundfiles::Ebur128 oracle = soundfiles::ffmpegLoudness(peaky);
    EXPECT_NEAR(r.integratedLufs, oracle.integratedLufs, 0.3);
    EXPECT_NEAR(r.truePeakDbtp, oracle.truePeakDbtp, 0.3);
    const double gain = analysis::trackGainDb(r.integratedLufs, r.truePeakDbtp);
    EXPECT_LT(gain, analysis::kTargetLufs - r.integratedLufs - 1);
    EXPECT_NEAR(r.truePeakDbtp + gain, analysis::kPeakCeilingDbtp, 1e-9);
    EXPECT_LE(soundfiles::ffmpegLoudness(peaky, gain).truePeakDbtp,
              analysis::kPeakCeilingDbtp + 0.3);
}

TEST(LoudnessTest, FindsTheAudibleStartAndEnd) {
    // 1.5 s of silence, 3 s of tone, 2.5 s of silence. 10 ms fades keep the
    // lossy encoders from smearing a hard edge's splatter 60 ms wide.
    const std::string wav =
        soundfiles::soxWav("padded.wav", {"3", "sine", "440", "vol", "0.5", "fade", "0.01", "3",
                                          "0.01", "pad", "1.5", "2.5"});
    for (const QString& name :
         {QString("padded.flac"), QString("padded.mp3"), QString("padded.opus")}) {
        const LoudnessResult r = analyseLoudness(soundfiles::encode(wav, name));
        EXPECT_NEAR(double(r.firstAudibleMs()), 1500, 50) << name.toStdString();
        EXPECT_NEAR(double(r.lastAudibleMs()), 4500, 50) << name.toStdString();
        EXPECT_NEAR(double(r.lengthFrames), 7.0 * 44100, 0.02 * 44100) << name.toStdString();
    }
    const LoudnessResult silent = analyseLoudness(soundfiles::encode(
        soundfiles::soxWav("silent.wav", {"2", "sine", "440", "vol", "0"}), "silent.flac"));
    EXPECT_FALSE(silent.hasAudibleSound());
    EXPECT_EQ(silent.firstAudibleMs(), -1);
    EXPECT_EQ(analysis::trackGainDb(silent.integratedLufs, silent.truePeakDbtp), 0);
    EXPECT_THROW(analyseLoudness(soundfiles::pathOf("nothing.flac")), audio::MediaError);
}

TEST(ReplayGainTagTest, ReadsTheTrackGainOfEachTagKind) {
    const std::string wav = soundfiles::soxWav("rg.wav", {"1", "sine", "440", "vol", "0.5"});
    const auto tagged = [&](const QString& name, const QString& value, const QString& peak = {}) {
        const std::string out = soundfiles::pathOf(name);
        QStringList args{"-nostdin",  "-v",
                         "error",     "-y",
                         "-i",        QString::fromStdString(wav),
                         "-metadata", "REPLAYGAIN_TRACK_GAIN=" + value};
        if (!peak.isEmpty())
            args << "-metadata"
                 << "REPLAYGAIN_TRACK_PEAK=" + peak;
        soundfiles::run("ffmpeg", args << QString::fromStdString(out));
        return out;
    };
    const auto gainOf = [](const std::string& path) {
        const auto tag = analysis::replayGainTag(path);
        return tag ? tag->gainDb : 99;
    };
    EXPECT_NEAR(gainOf(tagged("rg.flac", "-6.48 dB")), -6.48, 1e-9);
    EXPECT_NEAR(gainOf(tagged("rg.ogg", "+3.20 dB")), 3.2, 1e-9);
    EXPECT_NEAR(gainOf(tagged("rg.mp3", "-1.5 dB")), -1.5, 1e-9);
    const std::string m4a = soundfiles::encode(wav, "rg.m4a");
    {
        TagLib::MP4::File file(m4a.c_str());
        file.tag()->setItem("----:com.apple.iTunes:replaygain_track_gain",
                            TagLib::MP4::Item(TagLib::StringList("-4.25 dB")));
        ASSERT_TRUE(file.save());
    }
    EXPECT_NEAR(gainOf(m4a), -4.25, 1e-9);
    // The peak written beside the gain holds a tag's boost under the ceiling.
    const auto peaked = analysis::replayGainTag(tagged("rg_peak.flac", "+9 dB", "0.5"));
    ASSERT_TRUE(peaked && peaked->peakDbfs);
    EXPECT_NEAR(*peaked->peakDbfs, -6.02, 0.01);
    EXPECT_NEAR(analysis::tagGainDb(peaked->gainDb, peaked->peakDbfs), 5.02, 0.01);
    EXPECT_FALSE(analysis::replayGainTag(tagged("rg_bad.flac", "loud")).has_value());
    EXPECT_FALSE(analysis::replayGainTag(soundfiles::encode(wav, "plain.flac")).has_value());
    EXPECT_FALSE(analysis::replayGainTag(soundfiles::pathOf("absent.flac")).has_value());
}

TEST(TrackGainTest, NoTagOrMeasurementRaisesATrackPastTheCaps) {
    using analysis::tagGainDb;
    using analysis::trackGainDb;
    // The largest tag a tagger may write, with and without a peak beside it.
    EXPECT_EQ(tagGainDb(59.9, std::nullopt), analysis::kMaxBoostWithoutPeakDb);
    EXPECT_EQ(tagGainDb(59.9, -40.0), analysis::kMaxBoostDb);
    EXPECT_EQ(tagGainDb(-40, std::nullopt), -40) << "any amount down";
    EXPECT_EQ(tagGainDb(NAN, -3.0), 0);
    // A very quiet but real track is raised by the cap, not to the target.
    EXPECT_EQ(trackGainDb(-60, -40), analysis::kMaxBoostDb);
    // Damaged measurements (a cache entry, say) give no gain at all.
    EXPECT_EQ(trackGainDb(-200, -300), 0);
    EXPECT_EQ(trackGainDb(-1e308, -HUGE_VAL), 0);
    EXPECT_EQ(trackGainDb(NAN, -3), 0);
    EXPECT_EQ(trackGainDb(-20, NAN), 0);
    EXPECT_TRUE(analysis::isPlausibleLoudness(-HUGE_VAL, -HUGE_VAL)) << "a silent track";
}

} // namespace
