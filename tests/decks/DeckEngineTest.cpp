// The deck engine through whole scenarios: the playlist's items, no window,
// real MP3 files, on the virtual sound card. The test owns time: it renders
// 500 ms of sound before each display tick (the fades run on the sound's own
// samples); after each command or tick it lets the engine's loader answer
// the loads it was given.
#include "decks/DeckEngine.h"
#include "decks/DeckTimeText.h"
#include "decks/PlayHistory.h"
#include "decks/Playlist.h"
#include "decks/tags/Id3v1Tag.h"
#include "platform/audio/GainCurve.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/decks/SettleLoads.h"
#include "tests/decks/ToneFiles.h"
#include "tests/decks/WaitFor.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using tonefiles::Tone;

namespace {

// One change of the current deck, as seen after a display tick.
struct Change {
    Deck deck;
    int index;
    bool operator==(const Change&) const = default;
};

// Made before the fixture's objects.
struct WithApp {
    WithApp() { ensureTestApp(); }
};

class Decks : public ::testing::Test, WithApp {
protected:
    Decks() {
        engine = std::make_unique<DeckEngine>(card, list);
        // The test calls the ticks itself; the real timers must never fire
        // while it waits for the loader.
        engine->displayTimer.setInterval(24 * 3600 * 1000);
    }

    void add(const std::string& path, const QString& title) {
        list.items().insert(list.count(), {path, title, Playability::Untried, {}});
    }
    // Runs a command and lets its loads answer.
    template <typename Command> void perform(Command command) {
        command();
        ASSERT_TRUE(settleLoads(card));
    }
    Playability playabilityOf(int i) { return list.items().at(i).playability; }
    static std::string Track(double frequency, double seconds) {
        return tonefiles::mp3({.frequency = frequency, .seconds = seconds});
    }

    // One display tick after 500 ms of sound.
    void tick() {
        card.render(500);
        engine->onDisplayTick();
        EXPECT_TRUE(settleLoads(card));
        ++ticks;
    }
    // Runs ticks for a while and records every change of the current deck.
    std::vector<Change> runSeconds(double seconds) {
        std::vector<Change> changes;
        for (int i = 0; i < int(seconds * 2); ++i) {
            const Change before{engine->CurrentDeck, engine->CurrentIndex};
            tick();
            const Change now{engine->CurrentDeck, engine->CurrentIndex};
            if (!(now == before))
                changes.push_back(now);
        }
        return changes;
    }
    // Volumes (A, B) after each of the next n whole seconds of sound (the
    // fades here start on whole seconds, and step a second later each).
    std::vector<std::pair<int, int>> fadeVolumes(int n) {
        std::vector<std::pair<int, int>> v;
        while (int(v.size()) < n) {
            tick();
            if (ticks % 2 == 0)
                v.emplace_back(engine->getDeckVolume(Deck::A), engine->getDeckVolume(Deck::B));
        }
        return v;
    }

    audio::VirtualSoundCard card;
    Playlist list;
    int ticks = 0;
    std::unique_ptr<DeckEngine> engine;
};

TEST(DeckTime, MinutesAndSecondsOfPositionAndLength) {
    EXPECT_EQ(deckTimeText('A', 83500, 245000), "(A) 01:23/04:05");
    EXPECT_EQ(deckTimeText('B', 0, 999), "(B) 00:00/00:00");
    EXPECT_EQ(deckTimeText('A', 6000000, 6001000), "(A) 100:00/100:01");
}

TEST_F(Decks, StartsIdleWithBothTimersSetButOff) {
    EXPECT_EQ(engine->CurrentDeck, Deck::None);
    EXPECT_FALSE(engine->ListPlaying || engine->Advancing || engine->CrossFading);
    DeckEngine fresh(card, list);
    EXPECT_EQ(fresh.displayTimer.interval(), 500);
    EXPECT_FALSE(fresh.displayTimer.isActive());
}

TEST_F(Decks, PlayOnTwoItemsLoopsOnAlternatingDecksWithTenStepFades) {
    add(Track(440, 20), "Tone 440");
    add(Track(660, 20), "Tone 660");
    perform([&] { engine->playOrStop(); });
    EXPECT_TRUE(engine->ListPlaying);
    EXPECT_EQ(engine->playCaption(), "Stop");
    EXPECT_TRUE(engine->displayTimer.isActive());
    EXPECT_EQ(engine->titleText(Deck::A), "Tone 440");
    EXPECT_EQ(engine->getDeckVolume(Deck::A), 1000) << "Play leaves the opening volume";
    EXPECT_EQ(list.selectedIndex(), 0);

    // 10 s before the end of item 0: item 1 on (B) at volume 0, then ten steps.
    EXPECT_EQ(runSeconds(10), (std::vector<Change>{{Deck::B, 1}}));
    EXPECT_EQ(engine->getDeckVolume(Deck::B), 0);
    EXPECT_TRUE(engine->CrossFading);
    EXPECT_EQ(engine->titleText(Deck::B), "Tone 660");
    EXPECT_EQ(list.selectedIndex(), 1);
    std::vector<std::pair<int, int>> expected;
    for (int k = 1; k <= 10; ++k)
        expected.emplace_back(1000 - 100 * k, 100 * k);
    EXPECT_EQ(fadeVolumes(10), expected);

    // The fade ended 10 s into (B)'s 20 s: that tick goes back to item 0 on
    // (A), and ten seconds later to item 1 on (B) again.
    ASSERT_EQ(engine->CurrentDeck, Deck::A);
    ASSERT_EQ(engine->CurrentIndex, 0);
    expected.clear();
    for (int k = 1; k <= 10; ++k)
        expected.emplace_back(100 * k, 1000 - 100 * k);
    EXPECT_EQ(fadeVolumes(10), expected);
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_EQ(engine->CurrentIndex, 1);
}

TEST_F(Decks, TheCrossFadeIsHeardAsOneToneFallingWhileTheOtherRises) {
    add(Track(1000, 21), "1k");
    add(Track(3000, 21), "3k");
    perform([&] { engine->playOrStop(); });
    runSeconds(11); // the advance comes 11 s in
    ASSERT_EQ(engine->CurrentDeck, Deck::B);
    card.setCapture(true);
    runSeconds(10.5);
    const auto sound = card.takeCaptured();
    double last1k = 1, last3k = 0;
    for (int second = 0; second < 10; ++second) {
        const auto x = measure::left(sound, second * 44100 + 22050 + 2205, 17640);
        const double a = measure::goertzel(x, 44100, 1000), b = measure::goertzel(x, 44100, 3000);
        EXPECT_LT(a, last1k) << second;
        EXPECT_GT(b, last3k) << second;
        last1k = a;
        last3k = b;
    }
    // Past the tenth step: (A) silent, (B) at full volume.
    const auto after = measure::left(sound, 10 * 44100 + 2205, 17640);
    EXPECT_LT(measure::goertzel(after, 44100, 1000), 0.01);
    EXPECT_NEAR(measure::goertzel(after, 44100, 3000), 0.5, 0.05);
    EXPECT_GT(last3k, 0.4);
}

// The window's ticks come late and unevenly here (1.3 s apart): the next
// track still starts on the outgoing one's sample of the advance, and each
// 100 ms of the fade follows the planned glide.
TEST_F(Decks, TheHandOverIsPlacedOnTheSoundsOwnSamplesHoweverLateTheTicks) {
    add(Track(1000, 40), "1k");
    add(Track(3000, 40), "3k");
    perform([&] { engine->playOrStop(); });
    card.setCapture(true);
    for (int i = 1; i <= 32; ++i) {
        card.render(1300);
        engine->onDisplayTick();
        ASSERT_TRUE(settleLoads(card));
        if (i == 24) { // 31.2 s
            ASSERT_EQ(engine->CurrentDeck, Deck::B);
            EXPECT_EQ(engine->deckA_.position() - engine->deckB_.position(), 30000);
        }
    }
    const auto sound = card.takeCaptured();
    const std::size_t start = 30 * 44100;
    const audio::FadePlan in{0, +1}, out{1000, -1};
    for (std::size_t w = 0; w < 100; ++w) {
        const auto x = measure::left(sound, start + w * 4410, 4410);
        const auto mid = static_cast<std::int64_t>(w * 4410 + 2205);
        for (auto [plan, frequency] : {std::pair{in, 3000.0}, std::pair{out, 1000.0}}) {
            const double planned = 0.5 * plan.gainAt(mid);
            if (planned < 0.05)
                continue; // below -20 dB the tone's level says little
            EXPECT_NEAR(20 * std::log10(measure::goertzel(x, 44100, frequency) / planned), 0, 0.5)
                << frequency << " Hz at " << w * 100 << " ms";
        }
    }
}

// Tracks heard for more than 30 s land in the history with their tags; a
// track cut short does not. The export is the header and those rows.
TEST_F(Decks, TracksHeardLongEnoughAreExportedToTheHistoryRowByRow) {
    QTemporaryDir dir;
    const std::string tagged = dir.filePath("long.mp3").toStdString();
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(Track(440, 45)), QString::fromStdString(tagged)));
    ID3Tag tag;
    tag.present = true;
    tag.title = "Tone";
    tag.artist = "=Smith, \"J\"";
    ASSERT_TRUE(writeTag(tagged, tag));
    add(tagged, "long");
    add(Track(660, 20), "short");
    PlayHistory history(dir.filePath("history.csv"));
    QObject::connect(engine.get(), &DeckEngine::trackLeft,
                     [&](const QString& path, const QDateTime& began, int seconds) {
                         history.record(began, path.toStdString(), seconds);
                     });
    const QDateTime start = QDateTime::currentDateTime();
    perform([&] { engine->playOrStop(); });
    runSeconds(50); // the long one whole, the short one for 15 s
    perform([&] { engine->playOrStop(); });
    QString error = QStringLiteral("not done");
    history.exportTo(dir.filePath("export.csv"), [&](const QString& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return error != QStringLiteral("not done"); }));
    ASSERT_EQ(error, QString());
    QFile exported(dir.filePath("export.csv"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(exported.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << rows.join(" | ").toStdString();
    EXPECT_EQ(rows[0], "time,file,artist,title,seconds");
    const QString time = rows[1].section(',', 0, 0);
    EXPECT_LE(std::abs(QDateTime::fromString(time, Qt::ISODate).secsTo(start)), 5)
        << rows[1].toStdString();
    EXPECT_EQ(rows[1].section(',', 1),
              QString::fromStdString(tagged) + ",\"'=Smith, \"\"J\"\"\",Tone,45");
}

TEST_F(Decks, TheTrackPlayingAtExitIsInThePlayHistory) {
    QTemporaryDir dir;
    add(Track(440, 45), "long");
    {
        PlayHistory history(dir.filePath("history.csv"));
        QObject::connect(engine.get(), &DeckEngine::trackLeft,
                         [&](const QString& path, const QDateTime& began, int seconds) {
                             history.record(began, path.toStdString(), seconds);
                         });
        perform([&] { engine->playOrStop(); });
        runSeconds(33);
        engine->leaveTracks();
        engine->leaveTracks(); // once only: the track was left already
        // A row still queued as the history goes is written all the same.
        history.record(QDateTime::currentDateTime(), "/music/other.mp3", 40);
    }
    QFile file(dir.filePath("history.csv"));
    QStringList rows;
    ASSERT_TRUE(waitFor([&] {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        file.close();
        return rows.size() == 3;
    })) << rows.join(" | ").toStdString();
    EXPECT_EQ(rows[0], "time,file,artist,title,seconds");
    // The two jobs may end in either order.
    EXPECT_EQ(rows.filter(QRegularExpression(",33$")).size(), 1) << rows.join(" | ").toStdString();
    EXPECT_EQ(rows.filter(QRegularExpression("other.mp3,,,40$")).size(), 1);
}

TEST_F(Decks, AOneItemListLoopsOnItself) {
    add(Track(440, 14), "Only");
    perform([&] { engine->playOrStop(); });
    EXPECT_EQ(runSeconds(4), (std::vector<Change>{{Deck::B, 0}}));
    EXPECT_EQ(engine->titleText(Deck::B), "Only");
    EXPECT_EQ(runSeconds(4), (std::vector<Change>{{Deck::A, 0}}));
    EXPECT_TRUE(engine->deckA_.isPlaying());
    EXPECT_EQ(runSeconds(4), (std::vector<Change>{{Deck::B, 0}}));
}

TEST_F(Decks, ATrackShorterThanTenSecondsAdvancesAtTheFirstTick) {
    add(Track(440, 4), "Short");
    add(Track(660, 20), "Long");
    perform([&] { engine->playOrStop(); });
    tick();
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_EQ(engine->CurrentIndex, 1);
    EXPECT_FALSE(engine->Advancing) << "the stop check ran in the same tick";
    EXPECT_TRUE(engine->deckA_.isOpen()) << "the outgoing deck plays on, fading";
}

TEST_F(Decks, TheOutgoingDeckIsCutWhenItIsAlreadySilent) {
    add(Track(440, 12), "A");
    add(Track(660, 12), "B");
    perform([&] { engine->playOrStop(); });
    engine->setDeckLevel(Deck::A, 1000); // slider at the bottom: volume 0
    tick();
    runSeconds(1.5);
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_FALSE(engine->deckA_.isOpen()) << "cut in the tick of the advance";
    EXPECT_FALSE(engine->Advancing);
}

TEST_F(Decks, MovingADeckSliderFreezesTheFade) {
    add(Track(440, 20), "A");
    add(Track(660, 20), "B");
    perform([&] { engine->playOrStop(); });
    runSeconds(10);
    fadeVolumes(3);
    ASSERT_EQ(engine->getDeckVolume(Deck::A), 700);
    ASSERT_EQ(engine->getDeckVolume(Deck::B), 300);
    engine->setDeckLevel(Deck::A, 400);
    EXPECT_FALSE(engine->CrossFading);
    // Level 600 on the slider is gain 0.36, volume 234.
    EXPECT_EQ(engine->getDeckVolume(Deck::A), 234) << "the slider's volume";
    runSeconds(3);
    EXPECT_EQ(engine->getDeckVolume(Deck::A), 234);
    EXPECT_EQ(engine->getDeckVolume(Deck::B), 300);

    // The microphone slider freezes it too.
    perform([&] { engine->playSelectedOn(Deck::A); }); // item 1 is selected: onto (A), fading in
    fadeVolumes(2);
    const int a = engine->getDeckVolume(Deck::A), b = engine->getDeckVolume(Deck::B);
    engine->clearCrossFading();
    runSeconds(2);
    EXPECT_EQ(engine->getDeckVolume(Deck::A), a);
    EXPECT_EQ(engine->getDeckVolume(Deck::B), b);
}

TEST_F(Decks, StopOnTheOutgoingDeckDuringAFadeLeavesTheIncomingOneAlone) {
    add(Track(440, 20), "A");
    add(Track(660, 24), "B");
    perform([&] { engine->playOrStop(); });
    runSeconds(10);
    fadeVolumes(3);
    engine->stopDeck(Deck::A);
    EXPECT_EQ(engine->titleText(Deck::A), "STOP");
    EXPECT_EQ(engine->timeText(Deck::A), "(A) - - -");
    EXPECT_FALSE(engine->deckA_.isOpen());
    fadeVolumes(7);
    EXPECT_EQ(engine->getDeckVolume(Deck::B), 1000);
    EXPECT_TRUE(engine->deckB_.isPlaying());
    EXPECT_EQ(engine->timeText(Deck::A), "(A) - - -") << "a closed deck keeps its label";
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
}

TEST_F(Decks, StopOnTheCurrentDeckLeavesTheListSilentUntilAStart) {
    add(Track(440, 12), "A");
    add(Track(660, 12), "B");
    perform([&] { engine->playOrStop(); });
    engine->stopDeck(Deck::A);
    EXPECT_EQ(runSeconds(10), std::vector<Change>{});
    EXPECT_TRUE(engine->displayTimer.isActive());
    list.select(1);
    perform([&] { engine->playSelectedOn(Deck::B); });
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_TRUE(engine->deckB_.isPlaying());
    EXPECT_EQ(engine->getDeckVolume(Deck::B), 0);
    EXPECT_EQ(engine->titleText(Deck::B), "B");
}

TEST_F(Decks, RemovingItemsPastCurrentIndexWrapsToTheTop) {
    add(Track(440, 14), "x");
    add(Track(550, 14), "y");
    add(Track(660, 14), "z");
    list.select(2);
    perform([&] { engine->playSelectedOn(Deck::A); });
    ASSERT_EQ(engine->CurrentIndex, 2);
    list.items().removeAt(2);
    list.items().removeAt(1);
    tick();
    EXPECT_EQ(engine->CurrentIndex, 0) << "put back by the display tick";
    EXPECT_TRUE(engine->deckA_.isPlaying()) << "the removed track plays on";
    // The next advance plays what stands after index 0: the list wraps to x.
    EXPECT_EQ(runSeconds(4), (std::vector<Change>{{Deck::B, 0}}));
    EXPECT_EQ(engine->titleText(Deck::B), "x");
}

TEST_F(Decks, PlayThenStopClosesBothDecksAndStopsTheTimers) {
    add(Track(440, 20), "A");
    add(Track(660, 20), "B");
    perform([&] { engine->playOrStop(); });
    runSeconds(11);
    perform([&] { engine->playOrStop(); });
    EXPECT_FALSE(engine->ListPlaying);
    EXPECT_EQ(engine->playCaption(), "Play");
    EXPECT_FALSE(engine->displayTimer.isActive());
    EXPECT_FALSE(engine->deckA_.isOpen() || engine->deckB_.isOpen());
    EXPECT_EQ(engine->titleText(Deck::A), "- - -");
    EXPECT_EQ(engine->titleText(Deck::B), "- - -");
    EXPECT_EQ(engine->timeText(Deck::A), "(A) - - -");
    EXPECT_EQ(engine->timeText(Deck::B), "(B) - - -");
}

// The caption reads "Stop" after a double click or "Player (B)" start, and
// then the command stops, as it says.
TEST_F(Decks, DoubleClicksAlternateDecksAndStopStopsWhateverStartedThem) {
    add(Track(440, 20), "A");
    add(Track(660, 20), "B");
    list.select(1);
    perform([&] { engine->playSelectedWithFade(); });
    EXPECT_EQ(engine->CurrentDeck, Deck::A) << "no deck yet: (A)";
    EXPECT_TRUE(engine->CrossFading);
    EXPECT_EQ(engine->getDeckVolume(Deck::A), 0);
    perform([&] { engine->playSelectedWithFade(); });
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_EQ(engine->playCaption(), "Stop");
    EXPECT_FALSE(engine->ListPlaying);
    for (bool byPlayerB : {false, true}) {
        if (byPlayerB)
            perform([&] { engine->playSelectedOn(Deck::B); });
        perform([&] { engine->playOrStop(); }); // "Stop"
        EXPECT_EQ(engine->playCaption(), "Play") << byPlayerB;
        EXPECT_FALSE(engine->deckA_.isOpen() || engine->deckB_.isOpen()) << byPlayerB;
        EXPECT_FALSE(engine->displayTimer.isActive()) << byPlayerB;
        EXPECT_FALSE(engine->ListPlaying);
    }
    // Also when the list was emptied while the decks play.
    perform([&] { engine->playSelectedWithFade(); });
    list.items().clear();
    perform([&] { engine->playOrStop(); });
    EXPECT_EQ(engine->playCaption(), "Play");
    EXPECT_FALSE(engine->deckA_.isOpen() || engine->deckB_.isOpen());
}

TEST_F(Decks, CommandsNeedingASelectionOrItemsDoNothingWithout) {
    perform([&] { engine->playOrStop(); });
    EXPECT_FALSE(engine->ListPlaying);
    add(Track(440, 5), "A");
    list.select(-1);
    perform([&] { engine->playSelectedWithFade(); });
    perform([&] { engine->playSelectedOn(Deck::A); });
    perform([&] { engine->playSelectedOn(Deck::B); });
    EXPECT_EQ(engine->CurrentDeck, Deck::None);
    EXPECT_FALSE(engine->displayTimer.isActive());
    EXPECT_FALSE(engine->deckA_.isOpen() || engine->deckB_.isOpen());
}

TEST_F(Decks, LabelColoursAndTimeFollowTheCurrentDeck) {
    add(Track(440, 20), "A");
    add(Track(660, 20), "B");
    perform([&] { engine->playOrStop(); });
    runSeconds(1.5);
    EXPECT_EQ(engine->deckColour(Deck::A), QColor(0xA9, 0xD9, 0xFC));
    EXPECT_EQ(engine->deckColour(Deck::B), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(engine->timeText(Deck::A), "(A) 00:01/00:20");
    EXPECT_EQ(engine->timeText(Deck::B), "(B) - - -");
    runSeconds(9);
    tick(); // the colours of the tick after the advance
    EXPECT_EQ(engine->deckColour(Deck::B), QColor(0xA9, 0xD9, 0xFC));
    EXPECT_EQ(engine->deckColour(Deck::A), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(engine->timeText(Deck::B), "(B) 00:01/00:20");
}

// A track that cannot play is marked with the reason and the next item plays
// at once, whichever command met it; the list never falls silent on it.
TEST_F(Decks, FilesThatCannotPlayAreMarkedAndSkipped) {
    QByteArray noise(32 * 1024, '\0');
    QRandomGenerator rng(99);
    for (auto& b : noise)
        b = static_cast<char>(rng.bounded(256));
    const std::pair<std::string, QString> bad[] = {
        {tonefiles::missing("gone.mp3"), "missing"},
        {tonefiles::bytes("zero.mp3", {}), "damaged"},
        {tonefiles::bytes("random.mp3", noise), "damaged"},
        {tonefiles::wav({.seconds = 1}, "riff.mp3"), "not an MP3"},
    };
    for (const auto& [path, why] : bad) {
        list.items().clear();
        add(Track(440, 10.5), "Good");
        add(path, "Bad");
        add(Track(660, 12), "Next");
        perform([&] { engine->playOrStop(); });
        if (!engine->ListPlaying)
            perform([&] { engine->playOrStop(); });
        tick(); // the advance meets the bad item and goes on to the next
        EXPECT_EQ(engine->CurrentDeck, Deck::B) << path;
        EXPECT_EQ(engine->CurrentIndex, 2) << path;
        EXPECT_TRUE(engine->deckB_.isPlaying()) << path;
        EXPECT_EQ(engine->titleText(Deck::B), "Next") << path;
        EXPECT_EQ(playabilityOf(1), Playability::Unplayable) << path;
        EXPECT_TRUE(list.items().at(1).reason.contains(why)) << path;
        EXPECT_EQ(playabilityOf(2), Playability::Playable) << path;
        EXPECT_TRUE(engine->CrossFading && !engine->Advancing) << path;
        EXPECT_TRUE(engine->deckA_.isPlaying()) << "the outgoing deck fades out: " << path;
        perform([&] { engine->playOrStop(); }); // Stop
    }

    // Started on a bad item, by "Play" and by "Player (B)": the next one plays.
    list.items().clear();
    add(bad[2].first, "Bad");
    add(Track(440, 11), "Good");
    perform([&] { engine->playOrStop(); });
    EXPECT_EQ(engine->CurrentIndex, 1);
    EXPECT_TRUE(engine->deckA_.isPlaying());
    EXPECT_EQ(engine->titleText(Deck::A), "Good");
    list.select(0);
    perform([&] { engine->playSelectedOn(Deck::B); });
    EXPECT_TRUE(engine->deckB_.isPlaying());
    EXPECT_EQ(engine->titleText(Deck::B), "Good");

    // Re-adding an item clears its mark.
    add(bad[2].first, "Bad again");
    EXPECT_EQ(playabilityOf(2), Playability::Untried);
}

TEST_F(Decks, AListWhereNothingCanPlayStopsCleanlyAndSaysSo) {
    add(tonefiles::missing("one.mp3"), "One");
    add(tonefiles::wav({.seconds = 1}, "two.mp3"), "Two");
    list.select(1);
    for (int start = 0; start < 2; ++start) {
        perform([&] { start == 0 ? engine->playOrStop() : engine->playSelectedWithFade(); });
        EXPECT_EQ(engine->playCaption(), "Play") << start;
        EXPECT_FALSE(engine->ListPlaying || engine->CrossFading || engine->Advancing);
        EXPECT_FALSE(engine->displayTimer.isActive());
        EXPECT_FALSE(engine->deckA_.isOpen() || engine->deckB_.isOpen());
        EXPECT_EQ(engine->titleText(engine->CurrentDeck), DeckEngine::nothingPlayableText());
        EXPECT_EQ(playabilityOf(0), Playability::Unplayable);
        EXPECT_EQ(playabilityOf(1), Playability::Unplayable);
    }
}

// A deck closed or loaded again while its load runs ignores the old answer.
TEST_F(Decks, AStaleLoadAnswerIsDropped) {
    add(Track(440, 20), "A");
    add(Track(660, 13), "B");
    list.select(0);
    engine->playSelectedOn(Deck::A);
    engine->stopDeck(Deck::A); // before the loader answered
    ASSERT_TRUE(settleLoads(card));
    EXPECT_FALSE(engine->deckA_.isOpen());
    EXPECT_EQ(engine->titleText(Deck::A), "STOP");

    engine->playSelectedOn(Deck::A);
    list.select(1);
    engine->playSelectedOn(Deck::A); // replaces the first load
    ASSERT_TRUE(settleLoads(card));
    EXPECT_EQ(engine->titleText(Deck::A), "B");
    EXPECT_NEAR(engine->deckA_.length(), 13000, 100);
}

TEST_F(Decks, ATruncatedFilePlaysAsFarAsItGoes) {
    const auto whole = Track(440, 16);
    add(tonefiles::truncated(whole, "cut.mp3", 0.75), "Cut");
    add(Track(660, 20), "Next");
    perform([&] { engine->playOrStop(); });
    EXPECT_TRUE(engine->deckA_.isOpen());
    EXPECT_NEAR(engine->deckA_.length(), 12000, 200);
    const auto changes = runSeconds(2.5);
    EXPECT_EQ(changes, (std::vector<Change>{{Deck::B, 1}}));
}

} // namespace

TEST_F(Decks, AdvanceNowStartsTheNextItemWithTheUsualFadeOnlyWhilePlaying) {
    add(Track(440, 30), "A");
    add(Track(660, 30), "B");
    EXPECT_FALSE(engine->advanceNow()) << "a stopped list has nothing to advance";
    perform([&] { engine->playOrStop(); });
    runSeconds(2);
    bool started = false;
    perform([&] { started = engine->advanceNow(); });
    ASSERT_TRUE(started);
    EXPECT_EQ(engine->CurrentDeck, Deck::B);
    EXPECT_EQ(engine->CurrentIndex, 1);
    EXPECT_EQ(engine->titleText(Deck::B), "B");
    EXPECT_EQ(engine->getDeckVolume(Deck::B), 0);
    EXPECT_TRUE(engine->CrossFading);
    std::vector<std::pair<int, int>> expected;
    for (int k = 1; k <= 10; ++k)
        expected.emplace_back(1000 - 100 * k, 100 * k);
    EXPECT_EQ(fadeVolumes(10), expected);
    // Past the end of the list it wraps to the top, on the other deck.
    perform([&] { started = engine->advanceNow(); });
    EXPECT_TRUE(started);
    EXPECT_EQ(engine->CurrentDeck, Deck::A);
    EXPECT_EQ(engine->CurrentIndex, 0);
    perform([&] { engine->playOrStop(); });
    EXPECT_FALSE(engine->advanceNow());
}
