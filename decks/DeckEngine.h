#pragma once

#include "decks/Deck.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/DeckPlayer.h"

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

class Playlist;

// The two decks, (A) = deckA_ and (B) = deckB_, playing the
// playlist in turn: ten seconds before the current track ends the next one
// starts on the other deck at volume 0 and the two cross-fade by 100 a
// second. What is heard is placed on the audio engine's sample timeline, not
// on this thread's timers: the next item is opened ahead on the idle deck and
// cued to start on the sample of the advance, and the engine runs every fade
// step (AudioEngine::cueCrossFade). The display tick then shows what the audio
// did (titles, selection, states) and falls back to loading at the advance
// when the next item could not be opened ahead (a short track, a slow load).
// Every deck operation inside a command or tick is guarded: a failure skips
// the rest of its block.
//
// Loading a deck never waits: the file is opened and scanned on the audio
// engine's loader, and what a command or an advance does after the open
// (play, volume, title, fade, selection) runs when the deck reports it
// loaded. Meanwhile the deck counts as not open, so no second advance can
// start, and the fade waits until the incoming deck plays. A track that
// cannot play is marked in the playlist and the next item is tried at once,
// each item at most once per pass round the list; when none can play the
// list stops and says so in the deck's title.
//
// The engine owns the decks' state and what the window shows of it (title,
// time text, colours, the play command's caption) and announces changes by
// signal; the window binds its labels and menu item to them.
//
// A track planner, when set, shapes each track: its gain (loudness
// normalisation), where it starts (after its leading silence) and where its
// music ends (the advance then comes ten seconds before that instead of the
// file's end). Without one, every track plays whole at gain 1.
//
// A hand-over planner, when set, may give a pair of consecutive tracks a
// hand-over of its own (where the next one starts, from where in its file,
// how each fades); the cue then follows it on the sound's timeline. Without
// one, or where it has none, the hand-over is the ten-second cross-fade.
class DeckEngine : public QObject {
    Q_OBJECT
public:
    struct TrackPlan {
        double gain = 1.0;   // linear factor on the deck's volume
        int startMs = 0;     // playback starts here
        int musicEndMs = -1; // the last audible sound; -1: the file's end
    };
    using TrackPlanner = std::function<TrackPlan(const std::string& path)>;
    // Frames are 44.1 kHz frames of each track's own file.
    struct Handover {
        static constexpr std::int64_t kAfterLastFrame = audio::AudioEngine::kAfterLastFrame;
        // The outgoing track's frame on which the incoming one starts;
        // kAfterLastFrame: the sample after its last (end to start).
        std::int64_t cueFrame = kAfterLastFrame;
        std::int64_t incomingStartFrame = 0;
        std::int64_t incomingFadeFrames = 0; // 0: at full volume
        std::int64_t outgoingFadeFrames = 0; // 0: cut at the cue
    };
    using HandoverPlanner = std::function<std::optional<Handover>(const std::string& outgoing,
                                                                  const std::string& incoming)>;

    DeckEngine(audio::AudioEngine& engine, Playlist& playlist, QObject* parent = nullptr);

    Deck CurrentDeck = Deck::None;
    int CurrentIndex = 0; // playlist index of the current track
    bool ListPlaying = false;
    bool Advancing = false;
    bool CrossFading = false;

    audio::DeckPlayer deckA_;
    audio::DeckPlayer deckB_;
    QTimer displayTimer; // display and advance, 500 ms
    // One extra display tick at the exact moment an advance falls due
    // between two ticks of displayTimer, so that a hand-over starts on time
    // instead of up to one display interval late.
    QTimer advanceTick;

    // Deck volume 0..1000; setting fails silently on a deck that is not open.
    // The deck's player: deckA_ for A, deckB_ otherwise.
    audio::DeckPlayer& player(Deck deck);
    const audio::DeckPlayer& player(Deck deck) const;
    void setDeckVolume(Deck deck, int value);
    int getDeckVolume(Deck deck) const;
    bool isLoading(Deck deck) const;
    void setTrackPlanner(TrackPlanner planner) { planner_ = std::move(planner); }
    void setHandoverPlanner(HandoverPlanner planner) { handoverPlanner_ = std::move(planner); }
    // Asks the planner again for the open decks' gains (an analysis arrived
    // or a setting changed); the change is ramped.
    void refreshTrackGains();
    // The same for the open decks holding this file only.
    void refreshTrackGain(const std::string& path);

    // What the window shows of a deck, and the "Play" item's caption.
    QString titleText(Deck deck) const { return titles_[slot(deck)]; }
    QString timeText(Deck deck) const { return times_[slot(deck)]; }
    QColor deckColour(Deck deck) const { return colours_[slot(deck)]; }
    QString playCaption() const { return playCaption_; }

    static QColor textColour();
    static QColor idleColour();
    // The title label's text when no item of the list can play.
    static QString nothingPlayableText();

public slots:
    void playOrStop();
    void playSelectedWithFade();
    // Plays the selected item on the deck, fading it in and the other out.
    void playSelectedOn(Deck deck);
    // Stops and closes the deck, also while it loads; its title reads "STOP".
    void stopDeck(Deck deck);
    // Starts the advance to the next item now, with the usual fade, while the
    // list plays and no advance is under way; returns whether it started.
    // While the current deck is still loading its track, that load is given
    // up and the item after it loads in its place, for the same purpose.
    bool advanceNow();
    // Holds both decks where they are, a fade included (its steps and the
    // next advance wait too), while the list plays; resume() goes on from
    // there. Stop (playOrStop) still stops a paused list.
    void pause();
    void resume();
    bool isPaused() const { return paused_; }
    // The program ends: each track still on a deck says how much of it was
    // heard (trackLeft), as a track replaced or stopped does.
    void leaveTracks();
    // The deck's slider moved to position (0 at the top: full volume).
    void setDeckLevel(Deck deck, int position);
    void onDisplayTick();
    // Stops the fade where its steps stand (a slider was moved).
    void clearCrossFading();

signals:
    void titleChanged(Deck deck, const QString& text);
    void timeChanged(Deck deck, const QString& text);
    // The colour of the deck's title and time labels.
    void colourChanged(Deck deck, const QColor& colour);
    void playCaptionChanged(const QString& caption);
    // An automatic advance onto deck, for item index, started now; dueMs is
    // the steady-clock time (ms, std::chrono::steady_clock) at which the
    // outgoing deck reached ten seconds before its end.
    void advanceStarted(Deck deck, int index, qint64 dueMs);
    // The incoming deck of an advance loaded for longer (tookMs so far) than
    // the outgoing track had left (leftMs); said once per advance.
    void loadOutlastedTrack(Deck deck, qint64 tookMs, int leftMs);
    // Item index began to play on deck (any command or advance).
    void trackStarted(Deck deck, int index);
    void pausedChanged(bool paused);
    // The track that began on a deck at began (path) was left: replaced,
    // stopped or closed, after secondsHeard of it played.
    void trackLeft(const QString& path, const QDateTime& began, int secondsHeard);

private:
    // What runs once a deck has loaded, per command that loaded it.
    enum class LoadFor { ListStart, DoubleClick, Player, Advance };

    static std::size_t slot(Deck deck) { return deck == Deck::A ? 0 : 1; }
    // The deck that is lit and fades in: the current one, B while none is.
    Deck litDeck() const { return CurrentDeck == Deck::A ? Deck::A : Deck::B; }
    void loadItem(Deck deck, int index, LoadFor purpose);
    // Opens the next item ahead on the idle deck and cues it for the advance.
    void cueNextItem();
    void cued(Deck deck, int index, const std::string& path, const audio::LoadResult& result);
    // Forgets the cued item: its deck closes unless the advance took it.
    void dropCue();
    void takeCue();
    bool isCuedAhead(Deck deck) const { return cue_.deck == deck && !cue_.taken; }
    void beginCrossFade();
    void skipLoadingItem(Deck deck);
    void loadNextItem(Deck deck, int index, LoadFor purpose);
    // cued: the deck was started by its cue on the audio timeline.
    void loaded(Deck deck, int index, LoadFor purpose, const QString& title, bool cued = false);
    void cannotPlay(Deck deck, int index, LoadFor purpose, const std::string& path,
                    const audio::LoadResult& result);
    void stopList(Deck deck);
    void showDeckTime(Deck deck);
    void closeDeck(Deck deck);
    void leaveTrack(Deck deck);
    TrackPlan planFor(const std::string& path) const;
    // Where the deck's advance is counted from: its music's end or its length.
    int advanceEndMs(Deck deck);
    // The hand-over from the deck's track to the item after CurrentIndex:
    // the cued one's, else the planner's; nothing for the ten-second fade.
    std::optional<Handover> handoverFrom(Deck deck);
    // The deck's position (ms) at which its advance falls due.
    int advanceDueMs(Deck deck);
    // The engine's fades for a hand-over; early: an advance asked before its
    // due time (Next), which never cuts the outgoing track short.
    static audio::CrossFadeShape shapeOf(const std::optional<Handover>& handover, bool early);
    void advanceTo(Deck deck);
    void stopCheck();
    void armAdvanceTick();
    void reportSlowLoad(Deck deck, const char* state);
    void showColours();
    void setTitle(Deck deck, const QString& text);
    void setTime(Deck deck, const QString& text);
    void setColour(Deck deck, const QColor& colour);
    void setPlayCaption(const QString& text);
    void setPaused(bool paused);

    audio::AudioEngine& engine_;
    Playlist& playlist_;
    TrackPlanner planner_;
    HandoverPlanner handoverPlanner_;
    // The next item opened ahead for the advance: on which deck, which item,
    // whether its load answered, and whether the advance has taken it.
    struct Cue {
        Deck deck = Deck::None;
        int index = -1;
        std::string path;
        bool loading = false;
        bool taken = false;
        std::optional<Handover> handover; // the pair's own; nothing: the fade
        bool early = false;               // taken by an advance asked before its due time
    } cue_;
    std::array<QString, 2> titles_{QStringLiteral("- - - "), QStringLiteral("- - -")};
    std::array<QString, 2> times_{QStringLiteral("(A) - - -"), QStringLiteral("(B) - - -")};
    std::array<QColor, 2> colours_{textColour(), textColour()};
    QString playCaption_ = QStringLiteral("Play");
    int failedInARow_ = 0; // items that could not play since the last that did
    // What each deck's load in progress is for, and which item it loads.
    std::array<LoadFor, 2> loadingFor_{LoadFor::ListStart, LoadFor::ListStart};
    std::array<int, 2> loadingIndex_{0, 0};
    bool paused_ = false;
    // What each deck has played of its track since it began.
    struct Heard {
        std::string path;
        QDateTime began;
        int fromMs = 0;
        int lastMs = 0;
        bool on = false;
    };
    std::array<Heard, 2> heard_;
    std::array<bool, 2> heldByPause_{false, false}; // the decks pause() stopped
    // The advance in progress: when it started and how long the outgoing
    // track had left then, to report a load that outlasts it.
    std::chrono::steady_clock::time_point advanceStart_;
    int advanceTimeLeftMs_ = 0;
    bool slowLoadReported_ = false;
};
