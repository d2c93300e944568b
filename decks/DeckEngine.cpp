#include "decks/DeckEngine.h"

#include "decks/DeckTimeText.h"
#include "decks/DecksLog.h"
#include "decks/Playlist.h"
#include "platform/Guarded.h"
#include "platform/WinColor.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/GainCurve.h"
#include "platform/audio/MediaError.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kAdvanceBeforeEndMs = 10000;
constexpr int kFullVolume = 1000;
// How long before its advance the next item is opened ahead: time enough
// for a slow disk, and the idle deck is free by then in any list whose
// tracks are longer than the fade.
constexpr int kCueLeadMs = 15000;
// A fade's ten steps of FadePlan::kStepVolume.
constexpr std::int64_t kFadeSteps = 1000 / audio::FadePlan::kStepVolume;
// The shortest fade of a track left before its planned cue (the Next command).
constexpr std::int64_t kEarlyFadeFrames = 2 * audio::kOutputRate;

// A deck command that fails (most often: asked of a deck that is not open,
// which the display tick does all the time) skips the rest of its block; it
// is logged at debug level only.
template <typename Block> void tryDeckStep(const char* step, Block&& block) {
    guarded(lcDecks, step, std::forward<Block>(block), QtDebugMsg);
}

// Turns a timer on; one that runs already keeps its phase.
void enable(QTimer& timer) {
    if (!timer.isActive())
        timer.start();
}

qint64 steadyMs(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

QString reasonText(const audio::LoadResult& result) {
    switch (result.fault) {
    case audio::MediaFault::Missing:
        return QObject::tr("Cannot play: the file is missing.");
    case audio::MediaFault::NotMp3:
        return QObject::tr("Cannot play: this is not an MP3 file.");
    case audio::MediaFault::Damaged:
        return QObject::tr("Cannot play: the file is damaged or holds no sound it can play.");
    case audio::MediaFault::Other:
        break;
    }
    return QObject::tr("Cannot play: %1").arg(QString::fromStdString(result.error));
}

} // namespace

DeckEngine::DeckEngine(audio::AudioEngine& engine, Playlist& playlist, QObject* parent)
    : QObject(parent)
    , deckA_(engine)
    , deckB_(engine)
    , engine_(engine)
    , playlist_(playlist) {
    displayTimer.setInterval(500);
    connect(&displayTimer, &QTimer::timeout, this, &DeckEngine::onDisplayTick);
    advanceTick.setSingleShot(true);
    advanceTick.setTimerType(Qt::PreciseTimer);
    connect(&advanceTick, &QTimer::timeout, this, [this] {
        if (displayTimer.isActive()) // not after the list was stopped
            onDisplayTick();
    });
}

QColor DeckEngine::textColour() {
    return fromWinColor(wincolor::kText);
}
QColor DeckEngine::idleColour() {
    return fromWinColor(wincolor::kGrey);
}
QString DeckEngine::nothingPlayableText() {
    return tr("Nothing in the playlist can be played");
}

audio::DeckPlayer& DeckEngine::player(Deck deck) {
    return deck == Deck::A ? deckA_ : deckB_;
}
const audio::DeckPlayer& DeckEngine::player(Deck deck) const {
    return deck == Deck::A ? deckA_ : deckB_;
}

void DeckEngine::setDeckVolume(Deck deck, int value) {
    tryDeckStep("deck volume", [&] { player(deck).setVolume(value); });
}

int DeckEngine::getDeckVolume(Deck deck) const {
    return player(deck).getVolume();
}

bool DeckEngine::isLoading(Deck deck) const {
    return player(deck).isLoading();
}

DeckEngine::TrackPlan DeckEngine::planFor(const std::string& path) const {
    return planner_ ? planner_(path) : TrackPlan{};
}

void DeckEngine::refreshTrackGains() {
    for (Deck deck : {Deck::A, Deck::B})
        if (player(deck).isOpen())
            player(deck).setTrackGain(planFor(player(deck).FileName).gain);
}

void DeckEngine::refreshTrackGain(const std::string& path) {
    for (Deck deck : {Deck::A, Deck::B})
        if (player(deck).isOpen() && player(deck).FileName == path)
            player(deck).setTrackGain(planFor(path).gain);
}

int DeckEngine::advanceEndMs(Deck deck) {
    auto& player = this->player(deck);
    const int length = player.length();
    const int musicEnd = planFor(player.FileName).musicEndMs;
    return musicEnd >= 0 ? std::min(musicEnd, length) : length;
}

std::optional<DeckEngine::Handover> DeckEngine::handoverFrom(Deck deck) {
    const int count = playlist_.count();
    if (!handoverPlanner_ || count == 0)
        return std::nullopt;
    const int next = CurrentIndex + 1 > count - 1 ? 0 : CurrentIndex + 1;
    if (cue_.deck == otherDeck(deck) && cue_.index == next)
        return cue_.handover;
    const std::string& outgoing = player(deck).FileName;
    if (outgoing.empty())
        return std::nullopt;
    return handoverPlanner_(outgoing, playlist_.pathAt(next));
}

int DeckEngine::advanceDueMs(Deck deck) {
    const std::optional<Handover> handover = handoverFrom(deck);
    if (!handover)
        return advanceEndMs(deck) - kAdvanceBeforeEndMs;
    if (handover->cueFrame == Handover::kAfterLastFrame)
        return player(deck).length();
    return static_cast<int>(handover->cueFrame * 1000 / audio::kOutputRate);
}

audio::CrossFadeShape DeckEngine::shapeOf(const std::optional<Handover>& handover, bool early) {
    if (!handover)
        return {};
    // The outgoing deck's volume must reach 0 (its end is seen by that), so
    // a cut is a fade of ten one-frame steps from the cue's own sample.
    audio::CrossFadeShape shape{
        handover->incomingFadeFrames / kFadeSteps,
        std::max<std::int64_t>(handover->outgoingFadeFrames / kFadeSteps, 1)};
    if (early)
        shape.outgoingStepFrames =
            std::max(shape.outgoingStepFrames, kEarlyFadeFrames / kFadeSteps);
    return shape;
}

void DeckEngine::closeDeck(Deck deck) {
    leaveTrack(deck);
    player(deck).close();
}

// How much of the deck's track was heard: from where it started to where it
// stands (the last shown position once the deck has closed).
void DeckEngine::leaveTrack(Deck deck) {
    Heard& heard = heard_[slot(deck)];
    if (!heard.on)
        return;
    heard.on = false;
    if (player(deck).isOpen() && player(deck).FileName == heard.path)
        heard.lastMs = player(deck).position();
    emit trackLeft(QString::fromStdString(heard.path), heard.began,
                   std::max(heard.lastMs - heard.fromMs, 0) / 1000);
}

void DeckEngine::leaveTracks() {
    leaveTrack(Deck::A);
    leaveTrack(Deck::B);
}

void DeckEngine::setTitle(Deck deck, const QString& text) {
    QString& title = titles_[slot(deck)];
    if (title == text)
        return;
    title = text;
    emit titleChanged(deck, text);
}

void DeckEngine::setTime(Deck deck, const QString& text) {
    QString& time = times_[slot(deck)];
    if (time == text)
        return;
    time = text;
    emit timeChanged(deck, text);
}

void DeckEngine::setColour(Deck deck, const QColor& colour) {
    QColor& current = colours_[slot(deck)];
    if (current == colour)
        return;
    current = colour;
    emit colourChanged(deck, colour);
}

void DeckEngine::setPlayCaption(const QString& text) {
    if (playCaption_ == text)
        return;
    playCaption_ = text;
    emit playCaptionChanged(text);
}

// Loads item index onto the deck: sets its file and starts the open on the
// engine's loader. The rest of the command's guarded block runs in Loaded.
// Throws std::out_of_range for an index past the end of the list.
void DeckEngine::loadItem(Deck deck, int index, LoadFor purpose) {
    if (cue_.deck == deck)
        dropCue();
    const std::string path = playlist_.pathAt(index);
    const QString title = playlist_.titleAt(index);
    loadingFor_[slot(deck)] = purpose;
    loadingIndex_[slot(deck)] = index;
    leaveTrack(deck);
    player(deck).load(
        path,
        [this, deck, index, purpose, path, title](const audio::LoadResult& r) {
            if (r.loaded)
                loaded(deck, index, purpose, title);
            else
                cannotPlay(deck, index, purpose, path, r);
        },
        planFor(path).startMs);
}

void DeckEngine::loaded(Deck deck, int index, LoadFor purpose, const QString& title, bool cued) {
    failedInARow_ = 0;
    if (index < playlist_.count())
        playlist_.markPlayable(index);
    // Asked again now: an analysis may have come in while the deck loaded.
    player(deck).setTrackGain(planFor(player(deck).FileName).gain);
    tryDeckStep("play after load", [&] {
        if (!cued)
            player(deck).play();
        switch (purpose) {
        case LoadFor::ListStart: // at the volume the freshly opened deck has
            setTitle(deck, title);
            break;
        case LoadFor::DoubleClick:
            setDeckVolume(deck, 0);
            if (deck == Deck::B)
                CrossFading = true;
            setTitle(deck, title);
            break;
        case LoadFor::Player:
            setDeckVolume(deck, 0);
            setTitle(deck, title);
            break;
        case LoadFor::Advance:
            if (!cued)
                setDeckVolume(deck, 0);
            CrossFading = true;
            playlist_.select(index);
            break;
        }
        if (CrossFading && purpose != LoadFor::ListStart && !cued)
            beginCrossFade();
        emit trackStarted(deck, index);
        heard_[slot(deck)] = {player(deck).FileName, QDateTime::currentDateTime(),
                              player(deck).position(), player(deck).position(), true};
        // Loaded during a pause: it waits with the other deck.
        if (paused_) {
            player(deck).stop();
            heldByPause_[slot(deck)] = true;
        }
    });
    if (purpose != LoadFor::Advance)
        return;
    reportSlowLoad(deck, "took");
    // The stop check that followed the open in the tick of the advance.
    if (Advancing && CurrentDeck == deck)
        stopCheck();
}

// An incoming deck that loads for longer than the outgoing track had left
// is said once on standard error (the list does not wait for it); state is
// "took" once it loaded, "spent" from the display tick while it still loads.
void DeckEngine::reportSlowLoad(Deck deck, const char* state) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - advanceStart_);
    if (slowLoadReported_ || took.count() <= advanceTimeLeftMs_)
        return;
    slowLoadReported_ = true;
    qCWarning(lcDecks,
              "deck (%c) %s %lld ms loading the next track, longer than the "
              "%d ms the playing track had left",
              deckLetter(deck), state, static_cast<long long>(took.count()), advanceTimeLeftMs_);
    emit loadOutlastedTrack(deck, took.count(), advanceTimeLeftMs_);
}

// The item cannot play: it is marked, and the next item is tried on the same
// deck for the same command, so the list never falls silent on a bad file.
void DeckEngine::cannotPlay(Deck deck, int index, LoadFor purpose, const std::string& path,
                            const audio::LoadResult& result) {
    const int count = playlist_.count();
    if (index < count && playlist_.pathAt(index) == path)
        playlist_.markUnplayable(index, reasonText(result));
    if (++failedInARow_ >= count) {
        stopList(deck);
        return;
    }
    loadNextItem(deck, index, purpose);
}

// Loads the item after index on the deck for the same command; the advance
// shows the new item's title at once.
void DeckEngine::loadNextItem(Deck deck, int index, LoadFor purpose) {
    const int next = (index + 1) % playlist_.count();
    if (CurrentDeck == deck)
        CurrentIndex = next;
    if (purpose == LoadFor::Advance)
        setTitle(deck, playlist_.titleAt(next));
    tryDeckStep("next item", [&] { loadItem(deck, next, purpose); });
}

// No item of the list can play: everything stops, as the "Stop" command
// does, and the deck's title says why.
void DeckEngine::stopList(Deck deck) {
    failedInARow_ = 0;
    dropCue();
    displayTimer.stop();
    setPlayCaption(QStringLiteral("Play"));
    closeDeck(Deck::A);
    closeDeck(Deck::B);
    setPaused(false);
    setTitle(deck, nothingPlayableText());
    setTitle(otherDeck(deck), QStringLiteral("- - -"));
    setTime(Deck::A, QStringLiteral("(A) - - -"));
    setTime(Deck::B, QStringLiteral("(B) - - -"));
    ListPlaying = false;
    Advancing = false;
    CrossFading = false;
}

// While the caption reads "Stop", whichever command started the decks, the
// command stops both decks and the list, also when the list was emptied.
void DeckEngine::playOrStop() {
    if (ListPlaying || playCaption_ == QLatin1String("Stop")) {
        setPaused(false);
        dropCue();
        displayTimer.stop();
        setPlayCaption(QStringLiteral("Play"));
        closeDeck(Deck::A);
        closeDeck(Deck::B);
        setTitle(Deck::A, QStringLiteral("- - -"));
        setTitle(Deck::B, QStringLiteral("- - -"));
        // A closed deck has no time: its label goes back to the idle text.
        setTime(Deck::A, QStringLiteral("(A) - - -"));
        setTime(Deck::B, QStringLiteral("(B) - - -"));
        ListPlaying = false;
        return;
    }
    if (playlist_.count() == 0)
        return;
    dropCue();
    playlist_.select(0);
    ListPlaying = true;
    CurrentDeck = Deck::A;
    CurrentIndex = 0;
    failedInARow_ = 0;
    tryDeckStep("list start", [&] { loadItem(Deck::A, 0, LoadFor::ListStart); });
    Advancing = false;
    enable(displayTimer);
    setPlayCaption(QStringLiteral("Stop"));
    CrossFading = false;
}

void DeckEngine::playSelectedWithFade() {
    if (playlist_.count() == 0)
        return;
    const int index = playlist_.selectedIndex();
    if (index < 0)
        return; // nothing selected: nothing to play
    dropCue();
    CurrentIndex = index;
    failedInARow_ = 0;
    if (CurrentDeck == Deck::A) {
        CurrentDeck = Deck::B;
        tryDeckStep("double-click on deck B",
                    [&] { loadItem(Deck::B, index, LoadFor::DoubleClick); });
    } else {
        CurrentDeck = Deck::A;
        tryDeckStep("double-click on deck A",
                    [&] { loadItem(Deck::A, index, LoadFor::DoubleClick); });
        // (B) fades out as soon as (A) plays.
        CrossFading = true;
    }
    enable(displayTimer);
    Advancing = false;
    setPlayCaption(QStringLiteral("Stop"));
}

void DeckEngine::playSelectedOn(Deck deck) {
    const int index = playlist_.selectedIndex();
    if (index < 0)
        return; // nothing selected: nothing to play
    dropCue();
    CurrentIndex = index;
    CurrentDeck = deck;
    failedInARow_ = 0;
    tryDeckStep("load from the player", [&] { loadItem(deck, index, LoadFor::Player); });
    enable(displayTimer);
    CrossFading = true;
    Advancing = false;
    setPlayCaption(QStringLiteral("Stop"));
}

void DeckEngine::stopDeck(Deck deck) {
    dropCue();
    setTitle(deck, QStringLiteral("STOP"));
    setTime(deck, deck == Deck::A ? QStringLiteral("(A) - - -") : QStringLiteral("(B) - - -"));
    tryDeckStep("deck stop", [&] { player(deck).stop(); });
    closeDeck(deck); // also cancels a load in progress
}

void DeckEngine::setPaused(bool paused) {
    if (!paused)
        heldByPause_ = {false, false};
    if (paused_ == paused)
        return;
    paused_ = paused;
    emit pausedChanged(paused);
}

void DeckEngine::pause() {
    if (paused_ || playCaption_ != QLatin1String("Stop"))
        return;
    for (Deck deck : {Deck::A, Deck::B}) {
        if (!player(deck).isPlaying())
            continue;
        tryDeckStep("pause", [&] { player(deck).stop(); });
        heldByPause_[slot(deck)] = true;
    }
    // The fade's steps and a cued start follow the decks' own samples: they
    // wait with them. So does the advance.
    displayTimer.stop();
    advanceTick.stop();
    setPaused(true);
}

void DeckEngine::resume() {
    if (!paused_)
        return;
    for (Deck deck : {Deck::A, Deck::B})
        if (heldByPause_[slot(deck)])
            tryDeckStep("resume", [&] { player(deck).play(); });
    setPaused(false);
    enable(displayTimer);
}

bool DeckEngine::advanceNow() {
    if (playCaption_ != QLatin1String("Stop") || CurrentDeck == Deck::None ||
        playlist_.count() == 0)
        return false;
    if (isLoading(CurrentDeck)) {
        skipLoadingItem(CurrentDeck);
        return true;
    }
    if (Advancing)
        return false;
    advanceTo(otherDeck(CurrentDeck));
    return true;
}

// A deck's open can take up to the decoder's deadline (a huge or damaged
// file); the user need not wait for it: the load is dropped, the item stays
// unmarked, and the next item loads on the same deck for the same command.
void DeckEngine::skipLoadingItem(Deck deck) {
    closeDeck(deck); // cancels the load; its answer is dropped
    loadNextItem(deck, loadingIndex_[slot(deck)], loadingFor_[slot(deck)]);
}

void DeckEngine::clearCrossFading() {
    CrossFading = false;
    engine_.stopFades();
}

void DeckEngine::beginCrossFade() {
    const Deck incoming = litDeck();
    engine_.startCrossFade(player(incoming), player(otherDeck(incoming)));
}

void DeckEngine::setDeckLevel(Deck deck, int position) {
    clearCrossFading();
    setDeckVolume(deck, audio::sliderLevelToVolume(kFullVolume - position));
}

void DeckEngine::showColours() {
    const Deck lit = litDeck();
    setColour(lit, textColour());
    setColour(otherDeck(lit), idleColour());
}

void DeckEngine::showDeckTime(Deck deck) {
    if (isCuedAhead(deck))
        return; // shown from its advance on
    tryDeckStep("deck time", [&] {
        auto& player = this->player(deck);
        const int position = player.position();
        const int length = player.length(); // a deck that is not open keeps its label
        heard_[slot(deck)].lastMs = position;
        player.setTimeFormatMilliseconds();
        setTime(deck, deckTimeText(deckLetter(deck), position, length));
    });
}

void DeckEngine::advanceTo(Deck deck) {
    auto& outgoing = player(otherDeck(deck));
    advanceStart_ = std::chrono::steady_clock::now();
    const int dueMs = advanceDueMs(otherDeck(deck)); // before the index moves on
    const int position = outgoing.position(), length = advanceEndMs(otherDeck(deck));
    advanceTimeLeftMs_ = std::max(length - position, 0);
    const auto due = advanceStart_ - std::chrono::milliseconds(std::max(position - dueMs, 0));
    ++CurrentIndex;
    if (CurrentIndex > playlist_.count() - 1)
        CurrentIndex = 0;
    Advancing = true;
    const bool cued = cue_.deck == deck && cue_.index == CurrentIndex &&
                      CurrentIndex < playlist_.count() &&
                      playlist_.pathAt(CurrentIndex) == cue_.path;
    if (!cued) {
        dropCue();
        closeDeck(deck);
    }
    setTitle(deck, QString());
    CurrentDeck = deck;
    failedInARow_ = 0;
    slowLoadReported_ = false;
    emit advanceStarted(deck, CurrentIndex, steadyMs(due));
    if (cued) {
        setTitle(deck, playlist_.titleAt(CurrentIndex));
        cue_.taken = true;
        // Ticks advance only once the due position is reached: an advance
        // before it is a command (Next).
        cue_.early = position < dueMs;
        if (!cue_.loading)
            takeCue();
        return;
    }
    tryDeckStep("advance", [&] {
        setTitle(deck, playlist_.titleAt(CurrentIndex));
        loadItem(deck, CurrentIndex, LoadFor::Advance);
    });
}

void DeckEngine::cueNextItem() {
    if (!ListPlaying || Advancing || paused_ || cue_.deck != Deck::None ||
        CurrentDeck == Deck::None || playlist_.count() == 0)
        return;
    const Deck next = otherDeck(CurrentDeck);
    auto& current = player(CurrentDeck);
    // A deck faded out to silence still plays to its file's end: it is free.
    const bool silent = player(next).isPlaying() && getDeckVolume(next) == 0;
    if (!current.isPlaying() || (player(next).isPlaying() && !silent) || isLoading(next))
        return;
    tryDeckStep("cue", [&] {
        const int untilDue = advanceDueMs(CurrentDeck) - current.position();
        if (untilDue > kCueLeadMs)
            return;
        const int index = CurrentIndex + 1 > playlist_.count() - 1 ? 0 : CurrentIndex + 1;
        const std::string path = playlist_.pathAt(index);
        std::optional<Handover> handover = handoverFrom(CurrentDeck);
        const int startMs =
            handover ? static_cast<int>(handover->incomingStartFrame * 1000 / audio::kOutputRate)
                     : planFor(path).startMs;
        cue_ = {next, index, path, true, false, std::move(handover)};
        if (silent)
            closeDeck(next);
        leaveTrack(next);
        player(next).load(
            path,
            [this, next, index, path](const audio::LoadResult& r) { cued(next, index, path, r); },
            startMs);
    });
}

// The cued item loaded: it starts on the outgoing deck's sample of the
// advance, or at once when the advance has come already. One that cannot
// play is dropped quietly before its advance (which then loads it again and
// says why), and handled as any advance's failure after it.
void DeckEngine::cued(Deck deck, int index, const std::string& path,
                      const audio::LoadResult& result) {
    cue_.loading = false;
    if (!result.loaded) {
        const bool taken = cue_.taken;
        cue_ = {};
        if (taken)
            cannotPlay(deck, index, LoadFor::Advance, path, result);
        return;
    }
    player(deck).setTrackGain(planFor(path).gain);
    setDeckVolume(deck, 0);
    const Deck outgoing = otherDeck(deck);
    tryDeckStep("cue", [&] {
        const std::optional<Handover>& handover = cue_.handover;
        // An advance that came first starts it now.
        std::int64_t dueFrame = 0;
        if (!cue_.taken)
            dueFrame =
                handover ? handover->cueFrame
                         : std::int64_t(std::max(advanceEndMs(outgoing) - kAdvanceBeforeEndMs, 0)) *
                               audio::kOutputRate / 1000;
        engine_.cueCrossFade(player(deck), player(outgoing), dueFrame,
                             shapeOf(handover, cue_.early));
    });
    if (cue_.taken)
        takeCue();
}

// The advance takes the cued deck: an advance before the cue's sample (the
// Next command) starts it now; the rest is what any advance's load does.
void DeckEngine::takeCue() {
    const Deck deck = cue_.deck;
    const int index = cue_.index;
    const audio::CrossFadeShape shape = shapeOf(cue_.handover, cue_.early);
    cue_ = {};
    if (!player(deck).isPlaying())
        engine_.cueCrossFade(player(deck), player(otherDeck(deck)), 0, shape);
    loaded(deck, index, LoadFor::Advance, QString(), true);
}

void DeckEngine::dropCue() {
    if (cue_.deck == Deck::None)
        return;
    const Deck deck = cue_.deck;
    if (!cue_.taken)
        engine_.cancelCrossFade();
    cue_ = {};
    closeDeck(deck);
}

void DeckEngine::stopCheck() {
    tryDeckStep("stop check", [&] {
        auto& incoming = player(CurrentDeck);
        const Deck outgoing = otherDeck(CurrentDeck);
        // Faded out, or played to its end (a hand-over end to start).
        bool cut = getDeckVolume(outgoing) == 0 ||
                   (!paused_ && player(outgoing).isOpen() && !player(outgoing).isPlaying());
        if (!cut) {
            const int position = incoming.position();
            const int length = incoming.length(); // fails while the incoming deck is not open
            cut = position == length || length == 0 || incoming.FileName.empty();
        }
        if (cut) {
            tryDeckStep("outgoing deck stop", [&] { player(outgoing).stop(); });
            closeDeck(outgoing);
        }
        Advancing = false;
    });
}

// Nothing here waits: a deck that loads counts as not open until it answers.
void DeckEngine::onDisplayTick() {
    showColours();
    showDeckTime(Deck::A);
    showDeckTime(Deck::B);
    tryDeckStep("advance from deck A", [&] {
        if (deckA_.length() > 0 && CurrentDeck == Deck::A && !Advancing &&
            deckA_.position() >= advanceDueMs(Deck::A))
            advanceTo(Deck::B);
    });
    tryDeckStep("advance from deck B", [&] {
        if (deckB_.length() > 0 && CurrentDeck == Deck::B && !Advancing &&
            deckB_.position() >= advanceDueMs(Deck::B))
            advanceTo(Deck::A);
    });
    if (Advancing)
        stopCheck();
    if (Advancing && isLoading(CurrentDeck))
        reportSlowLoad(CurrentDeck, "spent");
    if (CurrentIndex > playlist_.count() - 1)
        CurrentIndex = 0;
    cueNextItem();
    armAdvanceTick();
}

// When the current deck reaches ten seconds before its end (the end of its
// music, when the planner knows it) before the next display tick, that
// moment gets a tick of its own.
void DeckEngine::armAdvanceTick() {
    advanceTick.stop();
    if (Advancing || CurrentDeck == Deck::None || !displayTimer.isActive())
        return;
    tryDeckStep("advance tick", [&] {
        auto& current = player(CurrentDeck);
        if (!current.isPlaying())
            return;
        const int untilDue = advanceDueMs(CurrentDeck) - current.position();
        if (untilDue > 0 && untilDue < displayTimer.interval())
            advanceTick.start(untilDue + 1);
    });
}
