// The deck engine through whole scenarios: a real playlist widget, real
// labels, real MP3 files, on the virtual sound card. The test owns time: it
// renders 500 ms of sound before each display tick and calls the cross-fade
// tick every second.
#include "decks/DeckEngine.h"
#include "decks/DeckTimeText.h"
#include "decks/PlaylistItems.h"
#include "platform/audio/VirtualSoundCard.h"
#include "tests/decks/ToneFiles.h"
#include "tests/support/SignalMeasure.h"
#include "tests/support/TestApp.h"

#include <QAction>
#include <QLabel>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using tonefiles::Tone;

namespace {

// One change of the current deck, as seen after a display tick.
struct Change {
    int deck;
    int index;
    bool operator==(const Change&) const = default;
};

// Made before the fixture's widgets.
struct WithApp {
    WithApp() { EnsureTestApp(); }
};

class Decks : public ::testing::Test, WithApp {
protected:
    Decks() {
        list.setColumnCount(2);
        engine = std::make_unique<TDeckEngine>(
            card, DeckWidgets{&list, &lbl1, &lbl2, &time1, &time2, &play1, &form});
        // The test calls the ticks itself; the real timers must never fire
        // while a handler lets pending events run.
        engine->Timer1.setInterval(24 * 3600 * 1000);
        engine->Timer2.setInterval(24 * 3600 * 1000);
    }

    void Add(const std::string& path, const QString& title) {
        playlist::Insert(&list, playlist::Count(&list), path, title);
    }
    static std::string Track(double frequency, double seconds) {
        return tonefiles::Mp3({.frequency = frequency, .seconds = seconds});
    }

    // One display tick after 500 ms of sound; a cross-fade tick every second,
    // half a second out of phase with the advances (which come on whole seconds
    // of tracks with whole-second lengths).
    void Tick() {
        card.Render(500);
        engine->Timer1Timer();
        if (++ticks % 2 == 1)
            engine->Timer2Timer();
    }
    // Runs ticks for a while and records every change of the current deck.
    std::vector<Change> RunSeconds(double seconds) {
        std::vector<Change> changes;
        for (int i = 0; i < int(seconds * 2); ++i) {
            const Change before{engine->CurrentDeck, engine->CurrentIndex};
            Tick();
            const Change now{engine->CurrentDeck, engine->CurrentIndex};
            if (!(now == before))
                changes.push_back(now);
        }
        return changes;
    }
    // Volumes (A, B) after each of the next n cross-fade ticks.
    std::vector<std::pair<int, int>> FadeVolumes(int n) {
        std::vector<std::pair<int, int>> v;
        while (int(v.size()) < n) {
            Tick();
            if (ticks % 2 == 1)
                v.emplace_back(engine->GetDeckVolume(1), engine->GetDeckVolume(2));
        }
        return v;
    }

    audio::VirtualSoundCard card;
    QTreeWidget list;
    QLabel lbl1{"- - - "}, lbl2{"- - -"}, time1{"(A) - - -"}, time2{"(B) - - -"};
    QAction play1{"Play"};
    QWidget form;
    int ticks = 0;
    std::unique_ptr<TDeckEngine> engine;
};

TEST(DeckTime, MinutesAndSecondsOfPositionAndLength) {
    EXPECT_EQ(DeckTimeText('A', 83500, 245000), "(A) 01:23/04:05");
    EXPECT_EQ(DeckTimeText('B', 0, 999), "(B) 00:00/00:00");
    EXPECT_EQ(DeckTimeText('A', 6000000, 6001000), "(A) 100:00/100:01");
}

TEST_F(Decks, StartsIdleWithBothTimersSetButOff) {
    EXPECT_EQ(engine->CurrentDeck, 0);
    EXPECT_FALSE(engine->ListPlaying || engine->Advancing || engine->CrossFading);
    TDeckEngine fresh(card, DeckWidgets{&list, &lbl1, &lbl2, &time1, &time2, &play1, &form});
    EXPECT_EQ(fresh.Timer1.interval(), 500);
    EXPECT_EQ(fresh.Timer2.interval(), 1000);
    EXPECT_FALSE(fresh.Timer1.isActive() || fresh.Timer2.isActive());
}

TEST_F(Decks, PlayOnTwoItemsLoopsOnAlternatingDecksWithTenStepFades) {
    Add(Track(440, 20), "Tone 440");
    Add(Track(660, 20), "Tone 660");
    engine->Play1Click();
    EXPECT_TRUE(engine->ListPlaying);
    EXPECT_EQ(play1.text(), "Stop");
    EXPECT_TRUE(engine->Timer1.isActive() && engine->Timer2.isActive());
    EXPECT_EQ(lbl1.text(), "Tone 440");
    EXPECT_EQ(engine->GetDeckVolume(1), 1000) << "Play leaves the opening volume";
    EXPECT_EQ(playlist::SelectedIndex(&list), 0);

    // 10 s before the end of item 0: item 1 on (B) at volume 0, then ten steps.
    EXPECT_EQ(RunSeconds(10), (std::vector<Change>{{2, 1}}));
    EXPECT_EQ(engine->GetDeckVolume(2), 0);
    EXPECT_TRUE(engine->CrossFading);
    EXPECT_EQ(lbl2.text(), "Tone 660");
    EXPECT_EQ(playlist::SelectedIndex(&list), 1);
    std::vector<std::pair<int, int>> expected;
    for (int k = 1; k <= 10; ++k)
        expected.emplace_back(1000 - 100 * k, 100 * k);
    EXPECT_EQ(FadeVolumes(10), expected);

    // The fade ended 9.5 s into (B)'s 20 s: the next tick goes back to item 0
    // on (A), and ten seconds later to item 1 on (B) again.
    const auto back = RunSeconds(0.5);
    ASSERT_EQ(back, (std::vector<Change>{{1, 0}}));
    expected.clear();
    for (int k = 1; k <= 10; ++k)
        expected.emplace_back(100 * k, 1000 - 100 * k);
    EXPECT_EQ(FadeVolumes(10), expected);
    EXPECT_EQ(RunSeconds(1), (std::vector<Change>{{2, 1}}));
}

TEST_F(Decks, TheCrossFadeIsHeardAsOneToneFallingWhileTheOtherRises) {
    Add(Track(1000, 21), "1k");
    Add(Track(3000, 21), "3k");
    engine->Play1Click();
    RunSeconds(11); // the advance comes 11 s in
    ASSERT_EQ(engine->CurrentDeck, 2);
    card.SetCapture(true);
    RunSeconds(10);
    const auto sound = card.TakeCaptured();
    double last1k = 1, last3k = 0;
    for (int second = 0; second < 10; ++second) {
        const auto x = measure::Left(sound, second * 44100 + 22050 + 2205, 17640);
        const double a = measure::Goertzel(x, 44100, 1000), b = measure::Goertzel(x, 44100, 3000);
        EXPECT_LT(a, last1k) << second;
        EXPECT_GT(b, last3k) << second;
        last1k = a;
        last3k = b;
    }
    EXPECT_LT(last1k, 0.01);
    EXPECT_NEAR(last3k, 0.5, 0.05);
}

TEST_F(Decks, AOneItemListLoopsOnItself) {
    Add(Track(440, 14), "Only");
    engine->Play1Click();
    EXPECT_EQ(RunSeconds(4), (std::vector<Change>{{2, 0}}));
    EXPECT_EQ(lbl2.text(), "Only");
    EXPECT_EQ(RunSeconds(4), (std::vector<Change>{{1, 0}}));
    EXPECT_TRUE(engine->MediaPlayer1.IsPlaying());
    EXPECT_EQ(RunSeconds(4), (std::vector<Change>{{2, 0}}));
}

TEST_F(Decks, ATrackShorterThanTenSecondsAdvancesAtTheFirstTick) {
    Add(Track(440, 4), "Short");
    Add(Track(660, 20), "Long");
    engine->Play1Click();
    Tick();
    EXPECT_EQ(engine->CurrentDeck, 2);
    EXPECT_EQ(engine->CurrentIndex, 1);
    EXPECT_FALSE(engine->Advancing) << "the stop check ran in the same tick";
    EXPECT_TRUE(engine->MediaPlayer1.IsOpen()) << "the outgoing deck plays on, fading";
}

TEST_F(Decks, TheOutgoingDeckIsCutWhenItIsAlreadySilent) {
    Add(Track(440, 12), "A");
    Add(Track(660, 12), "B");
    engine->Play1Click();
    engine->player1volChange(1000); // slider at the bottom: volume 0
    Tick();
    RunSeconds(1.5);
    EXPECT_EQ(engine->CurrentDeck, 2);
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen()) << "cut in the tick of the advance";
    EXPECT_FALSE(engine->Advancing);
}

TEST_F(Decks, MovingADeckSliderFreezesTheFade) {
    Add(Track(440, 20), "A");
    Add(Track(660, 20), "B");
    engine->Play1Click();
    RunSeconds(10);
    FadeVolumes(3);
    ASSERT_EQ(engine->GetDeckVolume(1), 700);
    ASSERT_EQ(engine->GetDeckVolume(2), 300);
    engine->player1volChange(400);
    EXPECT_FALSE(engine->CrossFading);
    EXPECT_EQ(engine->GetDeckVolume(1), 600) << "the slider's volume";
    RunSeconds(3);
    EXPECT_EQ(engine->GetDeckVolume(1), 600);
    EXPECT_EQ(engine->GetDeckVolume(2), 300);

    // The microphone slider freezes it too.
    engine->PlayerA1Click(); // item 1 is selected: onto (A), fading in
    FadeVolumes(2);
    const int a = engine->GetDeckVolume(1), b = engine->GetDeckVolume(2);
    engine->ClearCrossFading();
    RunSeconds(2);
    EXPECT_EQ(engine->GetDeckVolume(1), a);
    EXPECT_EQ(engine->GetDeckVolume(2), b);
}

TEST_F(Decks, StopOnTheOutgoingDeckDuringAFadeLeavesTheIncomingOneAlone) {
    Add(Track(440, 20), "A");
    Add(Track(660, 20), "B");
    engine->Play1Click();
    RunSeconds(10);
    FadeVolumes(3);
    engine->Stop1Click();
    EXPECT_EQ(lbl1.text(), "STOP");
    EXPECT_EQ(time1.text(), "(A) - - -");
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen());
    FadeVolumes(7);
    EXPECT_EQ(engine->GetDeckVolume(2), 1000);
    EXPECT_TRUE(engine->MediaPlayer2.IsPlaying());
    EXPECT_EQ(time1.text(), "(A) - - -") << "a closed deck keeps its label";
    EXPECT_EQ(engine->CurrentDeck, 2);
}

TEST_F(Decks, StopOnTheCurrentDeckLeavesTheListSilentUntilAStart) {
    Add(Track(440, 12), "A");
    Add(Track(660, 12), "B");
    engine->Play1Click();
    engine->Stop1Click();
    EXPECT_EQ(RunSeconds(10), std::vector<Change>{});
    EXPECT_TRUE(engine->Timer1.isActive());
    playlist::Select(&list, 1);
    engine->PlayerB1Click();
    EXPECT_EQ(engine->CurrentDeck, 2);
    EXPECT_TRUE(engine->MediaPlayer2.IsPlaying());
    EXPECT_EQ(engine->GetDeckVolume(2), 0);
    EXPECT_EQ(lbl2.text(), "B");
}

TEST_F(Decks, RemovingItemsPastCurrentIndexWrapsToTheTop) {
    Add(Track(440, 14), "x");
    Add(Track(550, 14), "y");
    Add(Track(660, 14), "z");
    playlist::Select(&list, 2);
    engine->PlayerA1Click();
    ASSERT_EQ(engine->CurrentIndex, 2);
    playlist::RemoveAt(&list, 2);
    playlist::RemoveAt(&list, 1);
    Tick();
    EXPECT_EQ(engine->CurrentIndex, 0) << "put back by the display tick";
    EXPECT_TRUE(engine->MediaPlayer1.IsPlaying()) << "the removed track plays on";
    // The next advance plays what stands after index 0: the list wraps to x.
    EXPECT_EQ(RunSeconds(4), (std::vector<Change>{{2, 0}}));
    EXPECT_EQ(lbl2.text(), "x");
}

TEST_F(Decks, PlayThenStopClosesBothDecksAndStopsTheTimers) {
    Add(Track(440, 20), "A");
    Add(Track(660, 20), "B");
    engine->Play1Click();
    RunSeconds(11);
    engine->Play1Click();
    EXPECT_FALSE(engine->ListPlaying);
    EXPECT_EQ(play1.text(), "Play");
    EXPECT_FALSE(engine->Timer1.isActive() || engine->Timer2.isActive());
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen() || engine->MediaPlayer2.IsOpen());
    EXPECT_EQ(lbl1.text(), "- - -");
    EXPECT_EQ(lbl2.text(), "- - -");
    EXPECT_TRUE(time2.text().startsWith("(B) 00:0")) << "time labels keep their text";
}

TEST_F(Decks, DoubleClicksAlternateDecksAndPlayThenRestartsTheList) {
    Add(Track(440, 20), "A");
    Add(Track(660, 20), "B");
    playlist::Select(&list, 1);
    engine->ListView1DblClick();
    EXPECT_EQ(engine->CurrentDeck, 1) << "no deck yet: (A)";
    EXPECT_TRUE(engine->CrossFading);
    EXPECT_EQ(engine->GetDeckVolume(1), 0);
    engine->ListView1DblClick();
    EXPECT_EQ(engine->CurrentDeck, 2);
    EXPECT_EQ(play1.text(), "Stop");
    EXPECT_FALSE(engine->ListPlaying);
    engine->Play1Click(); // reads "Stop" but starts the list: item 0 on (A)
    EXPECT_TRUE(engine->ListPlaying);
    EXPECT_EQ(engine->CurrentDeck, 1);
    EXPECT_EQ(engine->CurrentIndex, 0);
    EXPECT_FALSE(engine->CrossFading);
}

TEST_F(Decks, CommandsNeedingASelectionOrItemsDoNothingWithout) {
    engine->Play1Click();
    EXPECT_FALSE(engine->ListPlaying);
    Add(Track(440, 5), "A");
    list.clearSelection();
    engine->ListView1DblClick();
    engine->PlayerA1Click();
    engine->PlayerB1Click();
    EXPECT_EQ(engine->CurrentDeck, 0);
    EXPECT_FALSE(engine->Timer1.isActive());
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen() || engine->MediaPlayer2.IsOpen());
}

TEST_F(Decks, LabelColoursAndTimeFollowTheCurrentDeck) {
    Add(Track(440, 20), "A");
    Add(Track(660, 20), "B");
    engine->Play1Click();
    RunSeconds(1.5);
    auto colour = [](QLabel& l) { return l.palette().color(QPalette::WindowText); };
    EXPECT_EQ(colour(lbl1), QColor(0xA9, 0xD9, 0xFC));
    EXPECT_EQ(colour(time1), QColor(0xA9, 0xD9, 0xFC));
    EXPECT_EQ(colour(lbl2), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(colour(time2), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(time1.text(), "(A) 00:01/00:20");
    EXPECT_EQ(time2.text(), "(B) - - -");
    RunSeconds(9);
    Tick(); // the colours of the tick after the advance
    EXPECT_EQ(colour(lbl2), QColor(0xA9, 0xD9, 0xFC));
    EXPECT_EQ(colour(lbl1), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(time2.text(), "(B) 00:01/00:20");
}

TEST_F(Decks, FilesThatCannotBeOpenedLeaveTheEngineRunning) {
    QByteArray noise(32 * 1024, '\0');
    QRandomGenerator rng(99);
    for (auto& b : noise)
        b = static_cast<char>(rng.bounded(256));
    const std::string bad[] = {
        tonefiles::Missing("gone.mp3"),
        tonefiles::Bytes("zero.mp3", {}),
        tonefiles::Bytes("random.mp3", noise),
        tonefiles::Wav({.seconds = 1}, "riff.mp3"),
    };
    for (const auto& path : bad) {
        playlist::Clear(&list);
        Add(Track(440, 10.5), "Good");
        Add(path, "Bad");
        engine->Play1Click();
        if (!engine->ListPlaying)
            engine->Play1Click();
        Tick(); // advance onto the bad file at once
        EXPECT_EQ(engine->CurrentDeck, 2) << path;
        EXPECT_FALSE(engine->MediaPlayer2.IsOpen()) << path;
        EXPECT_EQ(lbl2.text(), "Bad") << path;
        EXPECT_TRUE(engine->Advancing) << "the incoming deck failed: " << path;
        EXPECT_FALSE(engine->CrossFading) << path;
        RunSeconds(12); // (A) plays to its end; no further advance
        EXPECT_EQ(engine->MediaPlayer1.Position(), engine->MediaPlayer1.Length()) << path;
        EXPECT_EQ(engine->CurrentDeck, 2) << path;
        EXPECT_TRUE(engine->Timer1.isActive()) << path;
        engine->Play1Click(); // Stop
    }

    // Started on a bad file: silent, timers on, nothing breaks.
    playlist::Clear(&list);
    Add(bad[2], "Bad");
    Add(Track(440, 11), "Good");
    engine->Play1Click();
    EXPECT_TRUE(engine->ListPlaying);
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen());
    EXPECT_EQ(lbl1.text(), "- - -") << "commands set the title after a successful open";
    EXPECT_EQ(RunSeconds(3), std::vector<Change>{});
}

TEST_F(Decks, AnIncomingDeckThatFailedIsClearedOnceTheOutgoingDeckIsSilent) {
    Add(Track(440, 20), "A");
    Add(tonefiles::Missing("gone-too.mp3"), "Bad");
    playlist::Select(&list, 0);
    engine->ListView1DblClick(); // (A) fading in from 0
    RunSeconds(10.5);            // (A) at 1000; the advance onto the bad item
    ASSERT_EQ(engine->CurrentDeck, 2);
    ASSERT_TRUE(engine->Advancing);
    EXPECT_TRUE(engine->CrossFading) << "left on by the double click";
    RunSeconds(11); // (A) fades out; at volume 0 the stop check cuts it
    EXPECT_FALSE(engine->Advancing);
    EXPECT_FALSE(engine->MediaPlayer1.IsOpen());
}

TEST_F(Decks, ATruncatedFilePlaysAsFarAsItGoes) {
    const auto whole = Track(440, 16);
    Add(tonefiles::Truncated(whole, "cut.mp3", 0.75), "Cut");
    Add(Track(660, 20), "Next");
    engine->Play1Click();
    EXPECT_TRUE(engine->MediaPlayer1.IsOpen());
    EXPECT_NEAR(engine->MediaPlayer1.Length(), 12000, 200);
    const auto changes = RunSeconds(2.5);
    EXPECT_EQ(changes, (std::vector<Change>{{2, 1}}));
}

} // namespace
