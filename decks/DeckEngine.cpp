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
template <typename Block> void TryDeckStep(const char* step, Block&& block) {
    Guarded(lcDecks, step, std::forward<Block>(block), QtDebugMsg);
}

// Turns a timer on; one that runs already keeps its phase.
void Enable(QTimer& timer) {
    if (!timer.isActive())
        timer.start();
}

qint64 SteadyMs(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

QString ReasonText(const audio::LoadResult& result) {
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

QColor DeckEngine::TextColour() {
    return FromWinColor(wincolor::kText);
}
QColor DeckEngine::IdleColour() {
    return FromWinColor(wincolor::kGrey);
}
QString DeckEngine::NothingPlayableText() {
    return tr("Nothing in the playlist can be played");
}

audio::DeckPlayer& DeckEngine::Player(Deck deck) {
    return deck == Deck::A ? deckA_ : deckB_;
}
const audio::DeckPlayer& DeckEngine::Player(Deck deck) const {
    return deck == Deck::A ? deckA_ : deckB_;
}

void DeckEngine::SetDeckVolume(Deck deck, int value) {
    TryDeckStep("deck volume", [&] { Player(deck).SetVolume(value); });
}

int DeckEngine::GetDeckVolume(Deck deck) const {
    return Player(deck).GetVolume();
}

bool DeckEngine::IsLoading(Deck deck) const {
    return Player(deck).IsLoading();
}

DeckEngine::TrackPlan DeckEngine::PlanFor(const std::string& path) const {
    return planner_ ? planner_(path) : TrackPlan{};
}

void DeckEngine::RefreshTrackGains() {
    for (Deck deck : {Deck::A, Deck::B})
        if (Player(deck).IsOpen())
            Player(deck).SetTrackGain(PlanFor(Player(deck).FileName).gain);
}

void DeckEngine::RefreshTrackGain(const std::string& path) {
    for (Deck deck : {Deck::A, Deck::B})
        if (Player(deck).IsOpen() && Player(deck).FileName == path)
            Player(deck).SetTrackGain(PlanFor(path).gain);
}

int DeckEngine::AdvanceEndMs(Deck deck) {
    auto& player = Player(deck);
    const int length = player.Length();
    const int musicEnd = PlanFor(player.FileName).musicEndMs;
    return musicEnd >= 0 ? std::min(musicEnd, length) : length;
}

std::optional<DeckEngine::Handover> DeckEngine::HandoverFrom(Deck deck) {
    const int count = playlist_.Count();
    if (!handoverPlanner_ || count == 0)
        return std::nullopt;
    const int next = CurrentIndex + 1 > count - 1 ? 0 : CurrentIndex + 1;
    if (cue_.deck == OtherDeck(deck) && cue_.index == next)
        return cue_.handover;
    const std::string& outgoing = Player(deck).FileName;
    if (outgoing.empty())
        return std::nullopt;
    return handoverPlanner_(outgoing, playlist_.PathAt(next));
}

int DeckEngine::AdvanceDueMs(Deck deck) {
    const std::optional<Handover> handover = HandoverFrom(deck);
    if (!handover)
        return AdvanceEndMs(deck) - kAdvanceBeforeEndMs;
    if (handover->cueFrame == Handover::kAfterLastFrame)
        return Player(deck).Length();
    return static_cast<int>(handover->cueFrame * 1000 / audio::kOutputRate);
}

audio::CrossFadeShape DeckEngine::ShapeOf(const std::optional<Handover>& handover, bool early) {
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

void DeckEngine::CloseDeck(Deck deck) {
    LeaveTrack(deck);
    Player(deck).Close();
}

// How much of the deck's track was heard: from where it started to where it
// stands (the last shown position once the deck has closed).
void DeckEngine::LeaveTrack(Deck deck) {
    Heard& heard = heard_[Slot(deck)];
    if (!heard.on)
        return;
    heard.on = false;
    if (Player(deck).IsOpen() && Player(deck).FileName == heard.path)
        heard.lastMs = Player(deck).Position();
    emit trackLeft(QString::fromStdString(heard.path), heard.began,
                   std::max(heard.lastMs - heard.fromMs, 0) / 1000);
}

void DeckEngine::SetTitle(Deck deck, const QString& text) {
    QString& title = titles_[Slot(deck)];
    if (title == text)
        return;
    title = text;
    emit titleChanged(deck, text);
}

void DeckEngine::SetTime(Deck deck, const QString& text) {
    QString& time = times_[Slot(deck)];
    if (time == text)
        return;
    time = text;
    emit timeChanged(deck, text);
}

void DeckEngine::SetColour(Deck deck, const QColor& colour) {
    QColor& current = colours_[Slot(deck)];
    if (current == colour)
        return;
    current = colour;
    emit colourChanged(deck, colour);
}

void DeckEngine::SetPlayCaption(const QString& text) {
    if (playCaption_ == text)
        return;
    playCaption_ = text;
    emit playCaptionChanged(text);
}

// Loads item index onto the deck: sets its file and starts the open on the
// engine's loader. The rest of the command's guarded block runs in Loaded.
// Throws std::out_of_range for an index past the end of the list.
void DeckEngine::LoadItem(Deck deck, int index, LoadFor purpose) {
    if (cue_.deck == deck)
        DropCue();
    const std::string path = playlist_.PathAt(index);
    const QString title = playlist_.TitleAt(index);
    loadingFor_[Slot(deck)] = purpose;
    loadingIndex_[Slot(deck)] = index;
    LeaveTrack(deck);
    Player(deck).Load(
        path,
        [this, deck, index, purpose, path, title](const audio::LoadResult& r) {
            if (r.loaded)
                Loaded(deck, index, purpose, title);
            else
                CannotPlay(deck, index, purpose, path, r);
        },
        PlanFor(path).startMs);
}

void DeckEngine::Loaded(Deck deck, int index, LoadFor purpose, const QString& title, bool cued) {
    failedInARow_ = 0;
    if (index < playlist_.Count())
        playlist_.MarkPlayable(index);
    // Asked again now: an analysis may have come in while the deck loaded.
    Player(deck).SetTrackGain(PlanFor(Player(deck).FileName).gain);
    TryDeckStep("play after load", [&] {
        if (!cued)
            Player(deck).Play();
        switch (purpose) {
        case LoadFor::ListStart: // at the volume the freshly opened deck has
            SetTitle(deck, title);
            break;
        case LoadFor::DoubleClick:
            SetDeckVolume(deck, 0);
            if (deck == Deck::B)
                CrossFading = true;
            SetTitle(deck, title);
            break;
        case LoadFor::Player:
            SetDeckVolume(deck, 0);
            SetTitle(deck, title);
            break;
        case LoadFor::Advance:
            if (!cued)
                SetDeckVolume(deck, 0);
            CrossFading = true;
            playlist_.Select(index);
            break;
        }
        if (CrossFading && purpose != LoadFor::ListStart && !cued)
            BeginCrossFade();
        emit trackStarted(deck, index);
        heard_[Slot(deck)] = {Player(deck).FileName, QDateTime::currentDateTime(),
                              Player(deck).Position(), Player(deck).Position(), true};
        // Loaded during a pause: it waits with the other deck.
        if (paused_) {
            Player(deck).Stop();
            heldByPause_[Slot(deck)] = true;
        }
    });
    if (purpose != LoadFor::Advance)
        return;
    ReportSlowLoad(deck, "took");
    // The stop check that followed the open in the tick of the advance.
    if (Advancing && CurrentDeck == deck)
        StopCheck();
}

// An incoming deck that loads for longer than the outgoing track had left
// is said once on standard error (the list does not wait for it); state is
// "took" once it loaded, "spent" from the display tick while it still loads.
void DeckEngine::ReportSlowLoad(Deck deck, const char* state) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - advanceStart_);
    if (slowLoadReported_ || took.count() <= advanceTimeLeftMs_)
        return;
    slowLoadReported_ = true;
    qCWarning(lcDecks,
              "deck (%c) %s %lld ms loading the next track, longer than the "
              "%d ms the playing track had left",
              DeckLetter(deck), state, static_cast<long long>(took.count()), advanceTimeLeftMs_);
    emit loadOutlastedTrack(deck, took.count(), advanceTimeLeftMs_);
}

// The item cannot play: it is marked, and the next item is tried on the same
// deck for the same command, so the list never falls silent on a bad file.
void DeckEngine::CannotPlay(Deck deck, int index, LoadFor purpose, const std::string& path,
                            const audio::LoadResult& result) {
    const int count = playlist_.Count();
    if (index < count && playlist_.PathAt(index) == path)
        playlist_.MarkUnplayable(index, ReasonText(result));
    if (++failedInARow_ >= count) {
        StopList(deck);
        return;
    }
    LoadNextItem(deck, index, purpose);
}

// Loads the item after index on the deck for the same command; the advance
// shows the new item's title at once.
void DeckEngine::LoadNextItem(Deck deck, int index, LoadFor purpose) {
    const int next = (index + 1) % playlist_.Count();
    if (CurrentDeck == deck)
        CurrentIndex = next;
    if (purpose == LoadFor::Advance)
        SetTitle(deck, playlist_.TitleAt(next));
    TryDeckStep("next item", [&] { LoadItem(deck, next, purpose); });
}

// No item of the list can play: everything stops, as the "Stop" command
// does, and the deck's title says why.
void DeckEngine::StopList(Deck deck) {
    failedInARow_ = 0;
    DropCue();
    displayTimer.stop();
    SetPlayCaption(QStringLiteral("Play"));
    CloseDeck(Deck::A);
    CloseDeck(Deck::B);
    SetPaused(false);
    SetTitle(deck, NothingPlayableText());
    SetTitle(OtherDeck(deck), QStringLiteral("- - -"));
    SetTime(Deck::A, QStringLiteral("(A) - - -"));
    SetTime(Deck::B, QStringLiteral("(B) - - -"));
    ListPlaying = false;
    Advancing = false;
    CrossFading = false;
}

// While the caption reads "Stop", whichever command started the decks, the
// command stops both decks and the list, also when the list was emptied.
void DeckEngine::playOrStop() {
    if (ListPlaying || playCaption_ == QLatin1String("Stop")) {
        SetPaused(false);
        DropCue();
        displayTimer.stop();
        SetPlayCaption(QStringLiteral("Play"));
        CloseDeck(Deck::A);
        CloseDeck(Deck::B);
        SetTitle(Deck::A, QStringLiteral("- - -"));
        SetTitle(Deck::B, QStringLiteral("- - -"));
        // A closed deck has no time: its label goes back to the idle text.
        SetTime(Deck::A, QStringLiteral("(A) - - -"));
        SetTime(Deck::B, QStringLiteral("(B) - - -"));
        ListPlaying = false;
        return;
    }
    if (playlist_.Count() == 0)
        return;
    DropCue();
    playlist_.Select(0);
    ListPlaying = true;
    CurrentDeck = Deck::A;
    CurrentIndex = 0;
    failedInARow_ = 0;
    TryDeckStep("list start", [&] { LoadItem(Deck::A, 0, LoadFor::ListStart); });
    Advancing = false;
    Enable(displayTimer);
    SetPlayCaption(QStringLiteral("Stop"));
    CrossFading = false;
}

void DeckEngine::playSelectedWithFade() {
    if (playlist_.Count() == 0)
        return;
    const int index = playlist_.SelectedIndex();
    if (index < 0)
        return; // nothing selected: nothing to play
    DropCue();
    CurrentIndex = index;
    failedInARow_ = 0;
    if (CurrentDeck == Deck::A) {
        CurrentDeck = Deck::B;
        TryDeckStep("double-click on deck B",
                    [&] { LoadItem(Deck::B, index, LoadFor::DoubleClick); });
    } else {
        CurrentDeck = Deck::A;
        TryDeckStep("double-click on deck A",
                    [&] { LoadItem(Deck::A, index, LoadFor::DoubleClick); });
        // (B) fades out as soon as (A) plays.
        CrossFading = true;
    }
    Enable(displayTimer);
    Advancing = false;
    SetPlayCaption(QStringLiteral("Stop"));
}

void DeckEngine::playSelectedOn(Deck deck) {
    const int index = playlist_.SelectedIndex();
    if (index < 0)
        return; // nothing selected: nothing to play
    DropCue();
    CurrentIndex = index;
    CurrentDeck = deck;
    failedInARow_ = 0;
    TryDeckStep("load from the player", [&] { LoadItem(deck, index, LoadFor::Player); });
    Enable(displayTimer);
    CrossFading = true;
    Advancing = false;
    SetPlayCaption(QStringLiteral("Stop"));
}

void DeckEngine::stopDeck(Deck deck) {
    DropCue();
    SetTitle(deck, QStringLiteral("STOP"));
    SetTime(deck, deck == Deck::A ? QStringLiteral("(A) - - -") : QStringLiteral("(B) - - -"));
    TryDeckStep("deck stop", [&] { Player(deck).Stop(); });
    CloseDeck(deck); // also cancels a load in progress
}

void DeckEngine::SetPaused(bool paused) {
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
        if (!Player(deck).IsPlaying())
            continue;
        TryDeckStep("pause", [&] { Player(deck).Stop(); });
        heldByPause_[Slot(deck)] = true;
    }
    // The fade's steps and a cued start follow the decks' own samples: they
    // wait with them. So does the advance.
    displayTimer.stop();
    advanceTick.stop();
    SetPaused(true);
}

void DeckEngine::resume() {
    if (!paused_)
        return;
    for (Deck deck : {Deck::A, Deck::B})
        if (heldByPause_[Slot(deck)])
            TryDeckStep("resume", [&] { Player(deck).Play(); });
    SetPaused(false);
    Enable(displayTimer);
}

bool DeckEngine::AdvanceNow() {
    if (playCaption_ != QLatin1String("Stop") || CurrentDeck == Deck::None ||
        playlist_.Count() == 0)
        return false;
    if (IsLoading(CurrentDeck)) {
        SkipLoadingItem(CurrentDeck);
        return true;
    }
    if (Advancing)
        return false;
    AdvanceTo(OtherDeck(CurrentDeck));
    return true;
}

// A deck's open can take up to the decoder's deadline (a huge or damaged
// file); the user need not wait for it: the load is dropped, the item stays
// unmarked, and the next item loads on the same deck for the same command.
void DeckEngine::SkipLoadingItem(Deck deck) {
    CloseDeck(deck); // cancels the load; its answer is dropped
    LoadNextItem(deck, loadingIndex_[Slot(deck)], loadingFor_[Slot(deck)]);
}

void DeckEngine::ClearCrossFading() {
    CrossFading = false;
    engine_.StopFades();
}

void DeckEngine::BeginCrossFade() {
    const Deck incoming = LitDeck();
    engine_.StartCrossFade(Player(incoming), Player(OtherDeck(incoming)));
}

void DeckEngine::setDeckLevel(Deck deck, int position) {
    ClearCrossFading();
    SetDeckVolume(deck, audio::SliderLevelToVolume(kFullVolume - position));
}

void DeckEngine::ShowColours() {
    const Deck lit = LitDeck();
    SetColour(lit, TextColour());
    SetColour(OtherDeck(lit), IdleColour());
}

void DeckEngine::ShowDeckTime(Deck deck) {
    if (IsCuedAhead(deck))
        return; // shown from its advance on
    TryDeckStep("deck time", [&] {
        auto& player = Player(deck);
        const int position = player.Position();
        const int length = player.Length(); // a deck that is not open keeps its label
        heard_[Slot(deck)].lastMs = position;
        player.SetTimeFormatMilliseconds();
        SetTime(deck, DeckTimeText(DeckLetter(deck), position, length));
    });
}

void DeckEngine::AdvanceTo(Deck deck) {
    auto& outgoing = Player(OtherDeck(deck));
    advanceStart_ = std::chrono::steady_clock::now();
    const int dueMs = AdvanceDueMs(OtherDeck(deck)); // before the index moves on
    const int position = outgoing.Position(), length = AdvanceEndMs(OtherDeck(deck));
    advanceTimeLeftMs_ = std::max(length - position, 0);
    const auto due = advanceStart_ - std::chrono::milliseconds(std::max(position - dueMs, 0));
    ++CurrentIndex;
    if (CurrentIndex > playlist_.Count() - 1)
        CurrentIndex = 0;
    Advancing = true;
    const bool cued = cue_.deck == deck && cue_.index == CurrentIndex &&
                      CurrentIndex < playlist_.Count() &&
                      playlist_.PathAt(CurrentIndex) == cue_.path;
    if (!cued) {
        DropCue();
        CloseDeck(deck);
    }
    SetTitle(deck, QString());
    CurrentDeck = deck;
    failedInARow_ = 0;
    slowLoadReported_ = false;
    emit advanceStarted(deck, CurrentIndex, SteadyMs(due));
    if (cued) {
        SetTitle(deck, playlist_.TitleAt(CurrentIndex));
        cue_.taken = true;
        // Ticks advance only once the due position is reached: an advance
        // before it is a command (Next).
        cue_.early = position < dueMs;
        if (!cue_.loading)
            TakeCue();
        return;
    }
    TryDeckStep("advance", [&] {
        SetTitle(deck, playlist_.TitleAt(CurrentIndex));
        LoadItem(deck, CurrentIndex, LoadFor::Advance);
    });
}

void DeckEngine::CueNextItem() {
    if (!ListPlaying || Advancing || paused_ || cue_.deck != Deck::None ||
        CurrentDeck == Deck::None || playlist_.Count() == 0)
        return;
    const Deck next = OtherDeck(CurrentDeck);
    auto& current = Player(CurrentDeck);
    // A deck faded out to silence still plays to its file's end: it is free.
    const bool silent = Player(next).IsPlaying() && GetDeckVolume(next) == 0;
    if (!current.IsPlaying() || (Player(next).IsPlaying() && !silent) || IsLoading(next))
        return;
    TryDeckStep("cue", [&] {
        const int untilDue = AdvanceDueMs(CurrentDeck) - current.Position();
        if (untilDue > kCueLeadMs)
            return;
        const int index = CurrentIndex + 1 > playlist_.Count() - 1 ? 0 : CurrentIndex + 1;
        const std::string path = playlist_.PathAt(index);
        std::optional<Handover> handover = HandoverFrom(CurrentDeck);
        const int startMs =
            handover ? static_cast<int>(handover->incomingStartFrame * 1000 / audio::kOutputRate)
                     : PlanFor(path).startMs;
        cue_ = {next, index, path, true, false, std::move(handover)};
        if (silent)
            CloseDeck(next);
        LeaveTrack(next);
        Player(next).Load(
            path,
            [this, next, index, path](const audio::LoadResult& r) { Cued(next, index, path, r); },
            startMs);
    });
}

// The cued item loaded: it starts on the outgoing deck's sample of the
// advance, or at once when the advance has come already. One that cannot
// play is dropped quietly before its advance (which then loads it again and
// says why), and handled as any advance's failure after it.
void DeckEngine::Cued(Deck deck, int index, const std::string& path,
                      const audio::LoadResult& result) {
    cue_.loading = false;
    if (!result.loaded) {
        const bool taken = cue_.taken;
        cue_ = {};
        if (taken)
            CannotPlay(deck, index, LoadFor::Advance, path, result);
        return;
    }
    Player(deck).SetTrackGain(PlanFor(path).gain);
    SetDeckVolume(deck, 0);
    const Deck outgoing = OtherDeck(deck);
    TryDeckStep("cue", [&] {
        const std::optional<Handover>& handover = cue_.handover;
        std::int64_t dueFrame = 0;
        if (cue_.taken)
            dueFrame = 0;
        else if (!handover)
            dueFrame = std::int64_t(std::max(AdvanceEndMs(outgoing) - kAdvanceBeforeEndMs, 0)) *
                       audio::kOutputRate / 1000;
        else if (handover->cueFrame == Handover::kAfterLastFrame)
            dueFrame = audio::AudioEngine::kAfterLastFrame;
        else
            dueFrame = handover->cueFrame;
        engine_.CueCrossFade(Player(deck), Player(outgoing), dueFrame,
                             ShapeOf(handover, cue_.early));
    });
    if (cue_.taken)
        TakeCue();
}

// The advance takes the cued deck: an advance before the cue's sample (the
// Next command) starts it now; the rest is what any advance's load does.
void DeckEngine::TakeCue() {
    const Deck deck = cue_.deck;
    const int index = cue_.index;
    const audio::CrossFadeShape shape = ShapeOf(cue_.handover, cue_.early);
    cue_ = {};
    if (!Player(deck).IsPlaying())
        engine_.CueCrossFade(Player(deck), Player(OtherDeck(deck)), 0, shape);
    Loaded(deck, index, LoadFor::Advance, QString(), true);
}

void DeckEngine::DropCue() {
    if (cue_.deck == Deck::None)
        return;
    const Deck deck = cue_.deck;
    if (!cue_.taken)
        engine_.CancelCrossFade();
    cue_ = {};
    CloseDeck(deck);
}

void DeckEngine::StopCheck() {
    TryDeckStep("stop check", [&] {
        auto& incoming = Player(CurrentDeck);
        const Deck outgoing = OtherDeck(CurrentDeck);
        // Faded out, or played to its end (a hand-over end to start).
        bool cut = GetDeckVolume(outgoing) == 0 ||
                   (!paused_ && Player(outgoing).IsOpen() && !Player(outgoing).IsPlaying());
        if (!cut) {
            const int position = incoming.Position();
            const int length = incoming.Length(); // fails while the incoming deck is not open
            cut = position == length || length == 0 || incoming.FileName.empty();
        }
        if (cut) {
            TryDeckStep("outgoing deck stop", [&] { Player(outgoing).Stop(); });
            CloseDeck(outgoing);
        }
        Advancing = false;
    });
}

// Nothing here waits: a deck that loads counts as not open until it answers.
void DeckEngine::onDisplayTick() {
    ShowColours();
    ShowDeckTime(Deck::A);
    ShowDeckTime(Deck::B);
    TryDeckStep("advance from deck A", [&] {
        if (deckA_.Length() > 0 && CurrentDeck == Deck::A && !Advancing &&
            deckA_.Position() >= AdvanceDueMs(Deck::A))
            AdvanceTo(Deck::B);
    });
    TryDeckStep("advance from deck B", [&] {
        if (deckB_.Length() > 0 && CurrentDeck == Deck::B && !Advancing &&
            deckB_.Position() >= AdvanceDueMs(Deck::B))
            AdvanceTo(Deck::A);
    });
    if (Advancing)
        StopCheck();
    if (Advancing && IsLoading(CurrentDeck))
        ReportSlowLoad(CurrentDeck, "spent");
    if (CurrentIndex > playlist_.Count() - 1)
        CurrentIndex = 0;
    CueNextItem();
    ArmAdvanceTick();
}

// When the current deck reaches ten seconds before its end (the end of its
// music, when the planner knows it) before the next display tick, that
// moment gets a tick of its own.
void DeckEngine::ArmAdvanceTick() {
    advanceTick.stop();
    if (Advancing || CurrentDeck == Deck::None || !displayTimer.isActive())
        return;
    TryDeckStep("advance tick", [&] {
        auto& current = Player(CurrentDeck);
        if (!current.IsPlaying())
            return;
        const int untilDue = AdvanceDueMs(CurrentDeck) - current.Position();
        if (untilDue > 0 && untilDue < displayTimer.interval())
            advanceTick.start(untilDue + 1);
    });
}
