// Loudness normalisation, silence skipping and the other sound formats, end
// to end: files made by real encoders, the decks playing them through
// PortAudio into the private PulseAudio server, the speakers' monitor
// recorded and measured (loudness by ffmpeg's ebur128 filter, pitch by zero
// crossings, the hand-over by where each tone begins).
#include "analysis/TrackGain.h"
#include "app/Settings.h"
#include "app/TrackShaper.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "tests/analysis/SoundFiles.h"
#include "tests/decks/MonitorRecording.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <iostream>

namespace {

constexpr int kRate = 44100;
constexpr int kAnalysisWaitMs = 180000; // the analysis runs at idle priority

std::vector<float> slice(const std::vector<float>& x, std::size_t from, std::size_t count) {
    from = std::min(from, x.size());
    return {x.begin() + long(from), x.begin() + long(std::min(x.size(), from + count))};
}

// The first sample index from which a 50 ms window holds this tone.
std::size_t toneStart(const std::vector<float>& x, double frequency, std::size_t from = 0) {
    const std::size_t window = kRate / 20;
    for (std::size_t i = from; i + window <= x.size(); i += window / 5)
        if (measure::goertzel(slice(x, i, window), kRate, frequency) > 0.02)
            return i;
    return x.size();
}

// A mono 32-bit float WAV of the recording, for ffmpeg.
std::string writeWav(const std::vector<float>& x, const QString& name) {
    const std::string path = soundfiles::pathOf(name);
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::WriteOnly))
        return {};
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto bytes = quint32(x.size() * 4);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(3) << quint16(1) << quint32(kRate) << quint32(kRate * 4)
        << quint16(4) << quint16(32);
    out.writeRawData("data", 4);
    out << bytes;
    out.writeRawData(reinterpret_cast<const char*>(x.data()), int(bytes));
    return path;
}

// A measured figure, in the test's XML output and on its standard output.
void report(const std::string& name, double value) {
    ::testing::Test::RecordProperty(name, std::to_string(value));
    std::cout << "figure " << name << " " << value << std::endl;
}

class TrackShaping : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApp();
        ASSERT_STREQ(engine.backendName(), "pulse") << "the private sound server is not reachable";
        // The test gives the ticks it wants.
        decks.displayTimer.setInterval(24 * 3600 * 1000);
        QObject::connect(&shaper, &TrackShaper::trackAnalysed, &shaper,
                         [this](const QString&, bool) { ++analysed; });
    }
    bool addAndAnalyse(const std::vector<std::string>& paths) {
        for (const std::string& path : paths)
            if (!list.addFile(path))
                return false;
        return waitFor([&] { return analysed >= int(paths.size()); }, kAnalysisWaitMs);
    }
    // Plays the list's first item from the start for ms and returns the recording.
    std::vector<float> playFirstFor(int ms) {
        MonitorRecording recording;
        if (!recording.started())
            return {};
        decks.playOrStop();
        settleLoads(engine);
        waitFor([&] { return decks.deckA_.position() >= ms; });
        auto sound = recording.stop();
        decks.playOrStop(); // stops the list
        return sound;
    }

    QTemporaryDir dir;
    Settings settings{dir.filePath("Kolvadeck.conf")};
    audio::RealtimeAudioEngine engine;
    Playlist list;
    DeckEngine decks{engine, list};
    TrackShaper shaper{settings, list, decks, dir.filePath("analysis.json")};
    int analysed = 0;
};

TEST_F(TrackShaping, TracksMastered20LuApartPlayWithin1LuOfEachOther) {
    const std::string loud = soundfiles::encode(
        soundfiles::soxWav("loud.wav", {"6", "sine", "1000", "vol", "0.5"}), "loud.flac");
    const std::string quiet = soundfiles::encode(
        soundfiles::soxWav("quiet.wav", {"6", "sine", "1000", "vol", "0.05"}), "quiet.ogg");
    ASSERT_TRUE(addAndAnalyse({loud, quiet}));

    auto measure = [&](const QString& name) {
        const auto sound = playFirstFor(3500);
        const std::size_t start = toneStart(sound, 1000);
        // The middle of the track, away from the start's ramp.
        return soundfiles::ffmpegLoudness(
                   writeWav(slice(sound, start + kRate / 2, kRate * 2), name))
            .integratedLufs;
    };
    const double loudLufs = measure("loud-rec.wav");
    list.select(0);
    list.moveDown(); // the quiet track first
    const double quietLufs = measure("quiet-rec.wav");
    report("loudness_difference_lu", loudLufs - quietLufs);
    EXPECT_NEAR(loudLufs, quietLufs, 1.0);

    // Without normalisation the quiet track plays as mastered: the recording
    // is lower by the gain the analysis gave it (about 8 dB).
    const double quietGainDb = 20 * std::log10(shaper.plan(quiet).gain);
    EXPECT_GT(quietGainDb, 5.0);
    settings.setNormaliseLoudness(false);
    const double unshapedQuiet = measure("quiet-raw.wav");
    EXPECT_NEAR(quietLufs - unshapedQuiet, quietGainDb, 1.0);
}

TEST_F(TrackShaping, ATrackPlayedBeforeItsAnalysisHasItsReplayGainTagsGain) {
    // A long track keeps the analysis busy; the tagged one queued behind it
    // is played at once, long before its own analysis.
    const std::string busy = soundfiles::encode(
        soundfiles::soxWav("busy.wav", {"300", "sine", "440", "vol", "0.5"}), "busy.flac");
    const std::string tagged = soundfiles::pathOf("tagged.flac");
    soundfiles::run("flac", {"-s", "-f", "--tag=REPLAYGAIN_TRACK_GAIN=-7.50 dB", "-o",
                             QString::fromStdString(tagged),
                             QString::fromStdString(soundfiles::soxWav(
                                 "tagged.wav", {"4", "sine", "1000", "vol", "0.5"}))});
    double gainAtAnalysis = -1;
    QObject::connect(&shaper, &TrackShaper::trackAnalysed, &shaper, [&](const QString& path, bool) {
        if (path.toStdString() == tagged)
            gainAtAnalysis = decks.deckA_.trackGain();
    });
    ASSERT_TRUE(list.addFile(busy));
    ASSERT_TRUE(list.addFile(tagged));
    list.select(1);
    list.moveUp();
    decks.playOrStop();
    ASSERT_TRUE(waitFor([&] { return gainAtAnalysis >= 0; }, kAnalysisWaitMs));
    EXPECT_EQ(decks.deckA_.FileName, tagged);
    EXPECT_NEAR(20 * std::log10(gainAtAnalysis), -7.5, 0.01);
    decks.playOrStop();
}

TEST_F(TrackShaping, AnAbsurdTagGainIsCappedOnTheSpeakers) {
    // +59.9 dB on a track peaking at -40 dBFS would be a clipped square wave
    // at full scale; without a peak tag the boost stops at the harder cap.
    const std::string busy = soundfiles::encode(
        soundfiles::soxWav("busy2.wav", {"300", "sine", "440", "vol", "0.5"}), "busy2.flac");
    const std::string quiet = soundfiles::pathOf("absurd.flac");
    soundfiles::run("flac", {"-s", "-f", "--tag=REPLAYGAIN_TRACK_GAIN=+59.90 dB", "-o",
                             QString::fromStdString(quiet),
                             QString::fromStdString(soundfiles::soxWav(
                                 "absurd.wav", {"60", "sine", "1000", "vol", "0.01"}))});
    ASSERT_TRUE(list.addFile(busy));
    ASSERT_TRUE(list.addFile(quiet));
    list.select(1);
    list.moveUp();
    decks.playOrStop();
    // Played long before its analysis: the tag's gain arrives by its quick look.
    ASSERT_TRUE(waitFor([&] { return decks.deckA_.trackGain() > 1.5; }, 20000));
    EXPECT_FALSE(shaper.isAnalysed(quiet));
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    const int from = decks.deckA_.position();
    ASSERT_TRUE(waitFor([&] { return decks.deckA_.position() >= from + 2000; }));
    const auto sound = recording.stop();
    decks.playOrStop();
    const auto middle = slice(sound, kRate / 2, kRate);
    const double cap = 0.01 * analysis::gainFactor(analysis::kMaxBoostWithoutPeakDb);
    const double peak = measure::peak(middle);
    report("capped_tag_peak", peak);
    EXPECT_NEAR(peak, cap, cap * 0.1);
    EXPECT_NEAR(measure::rms(middle), cap / std::sqrt(2.0), cap * 0.1);
}

TEST_F(TrackShaping, HandsOverTenSecondsBeforeTheLastSoundAndSkipsLeadingSilence) {
    settings.setSmartTransitions(false); // the ten-second cross-fade
    // 15 s of tone, then 8 s of silence; then 2 s of silence before a tone.
    const std::string first = soundfiles::encode(
        soundfiles::soxWav("tail.wav", {"15", "sine", "1000", "vol", "0.5", "pad", "0", "8"}),
        "tail.flac");
    const std::string second = soundfiles::encode(
        soundfiles::soxWav("lead.wav", {"6", "sine", "3000", "vol", "0.5", "pad", "2", "0"}),
        "lead.mp3");
    ASSERT_TRUE(addAndAnalyse({first, second}));

    int advanceAtMs = -1, incomingStartMs = -1;
    QObject::connect(&decks, &DeckEngine::advanceStarted, &decks,
                     [&](Deck, int, qint64) { advanceAtMs = decks.deckA_.position(); });
    QObject::connect(&decks, &DeckEngine::trackStarted, &decks, [&](Deck deck, int) {
        if (deck != Deck::B)
            return;
        incomingStartMs = decks.deckB_.position();
        // Straight to the incoming track, so that its first sound is heard.
        decks.setDeckVolume(Deck::B, 1000);
        decks.setDeckVolume(Deck::A, 0);
    });
    decks.displayTimer.setInterval(50);
    MonitorRecording recording;
    ASSERT_TRUE(recording.started());
    decks.playOrStop();
    ASSERT_TRUE(waitFor([&] { return incomingStartMs >= 0; }, 20000));
    ASSERT_TRUE(waitFor([&] { return decks.deckB_.position() >= incomingStartMs + 1000; }));
    const auto sound = recording.stop();

    report("handover_offset_s", (advanceAtMs - 5000) / 1000.0);
    report("incoming_start_offset_s", (incomingStartMs - 2000) / 1000.0);
    EXPECT_NEAR(advanceAtMs, 5000, 500) << "10 s before the last sound at 15 s";
    EXPECT_NEAR(incomingStartMs, 2000, 100) << "the incoming deck starts at its first sound";
    const std::size_t oneK = toneStart(sound, 1000);
    const std::size_t threeK = toneStart(sound, 3000, oneK);
    ASSERT_LT(threeK, sound.size()) << "the incoming tone was never heard";
    EXPECT_NEAR(double(threeK - oneK) / kRate, 5.0, 0.5)
        << "heard 5 s after the first track began, without its 2 s of silence";
}

TEST_F(TrackShaping, EveryFormatPlaysAtItsPitchWithItsTagTitleAndADamagedFlacIsSkipped) {
    struct Case {
        QString name;
        double frequency;
        QString title;
    };
    const std::vector<Case> cases = {
        {"t.flac", 400, "Artist flac - Title flac"}, {"t.ogg", 500, "Artist ogg - Title ogg"},
        {"t.opus", 600, "Artist opus - Title opus"}, {"t.m4a", 700, "Artist m4a - Title m4a"},
        {"t.wav", 800, "Artist wav - Title wav"},    {"T.AIFF", 900, "Artist aiff - Title aiff"},
        {"T.MP3", 1100, "Artist mp3 - Title mp3"}};
    for (const Case& c : cases) {
        const QString ext = c.name.section('.', -1).toLower();
        const std::string wav = soundfiles::soxWav(
            ext + ".wav", {"3", "sine", QString::number(c.frequency), "vol", "0.5"});
        std::string path;
        if (ext == "mp3") { // ID3v1 names an MP3
            path = soundfiles::pathOf(c.name);
            soundfiles::run("lame",
                            {"--quiet", "--id3v1-only", "--ta", "Artist mp3", "--tt", "Title mp3",
                             QString::fromStdString(wav), QString::fromStdString(path)});
        } else {
            path = soundfiles::encode(wav, c.name, "Artist " + ext, "Title " + ext);
        }
        ASSERT_TRUE(list.addFile(path)) << c.name.toStdString();
        const int row = list.count() - 1;
        EXPECT_TRUE(waitFor([&] { return list.titleAt(row) == c.title; }))
            << list.titleAt(row).toStdString();

        audio::DeckPlayer deck(engine);
        deck.open(path);
        MonitorRecording recording;
        ASSERT_TRUE(recording.started());
        deck.play();
        ASSERT_TRUE(waitFor([&] { return deck.position() >= 1500; }));
        const auto sound = recording.stop();
        const std::size_t start = toneStart(sound, c.frequency);
        const double heard =
            measure::zeroCrossingFrequency(slice(sound, start + kRate / 5, kRate), kRate);
        report("pitch_error_percent_" + ext.toStdString(), 100 * (heard / c.frequency - 1));
        EXPECT_NEAR(heard, c.frequency, c.frequency * 0.01) << c.name.toStdString();
    }

    // A FLAC whose frames are noise: marked and skipped, the next item plays.
    QByteArray damaged = "fLaC";
    for (int i = 0; i < 20000; ++i)
        damaged += char((i * 7919 + 13) % 251);
    Playlist second;
    DeckEngine secondDecks(engine, second);
    second.addFile(soundfiles::writeBytes("damaged.flac", damaged));
    second.addFile(soundfiles::pathOf("t.flac"));
    secondDecks.playOrStop();
    ASSERT_TRUE(waitFor([&] { return secondDecks.deckA_.isPlaying(); }));
    EXPECT_EQ(second.items().at(0).playability, Playability::Unplayable);
    EXPECT_EQ(secondDecks.deckA_.FileName, soundfiles::pathOf("t.flac"));
    secondDecks.playOrStop();
}

} // namespace
