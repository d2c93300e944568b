#include "decks/DeckEngine.h"

#include "decks/DeckTimeText.h"
#include "decks/PlaylistItems.h"
#include "platform/Shell.h"
#include "platform/WinColor.h"

#include <QAction>
#include <QLabel>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

namespace {

constexpr int kAdvanceBeforeEndMs = 10000;
constexpr int kFadeStep = 100;
constexpr int kFullVolume = 1000;

// A guarded block: any failure inside skips the rest of it, silently.
template <typename Block> void Guarded(Block&& block) {
    try {
        block();
    } catch (const std::exception&) {
    }
}

// Turns a timer on; one that runs already keeps its phase.
void Enable(QTimer& timer) {
    if (!timer.isActive())
        timer.start();
}

void SetText(QLabel* label, const QString& text) {
    if (label)
        label->setText(text);
}

void SetColour(QLabel* label, const QColor& colour) {
    if (!label || label->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

TDeckEngine::TDeckEngine(audio::AudioEngine& engine, const DeckWidgets& widgets, QObject* parent)
    : QObject(parent)
    , MediaPlayer1(engine)
    , MediaPlayer2(engine)
    , w_(widgets) {
    Timer1.setInterval(500);
    Timer2.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &TDeckEngine::Timer1Timer);
    connect(&Timer2, &QTimer::timeout, this, &TDeckEngine::Timer2Timer);
}

QColor TDeckEngine::TextColour() {
    return FromWinColor(wincolor::kText);
}
QColor TDeckEngine::IdleColour() {
    return FromWinColor(wincolor::kGrey);
}

audio::TMediaPlayer& TDeckEngine::Deck(int deck) {
    return deck == 1 ? MediaPlayer1 : MediaPlayer2;
}
QLabel* TDeckEngine::TitleLabel(int deck) const {
    return deck == 1 ? w_.player1lbl : w_.player2lbl;
}
QLabel* TDeckEngine::TimeLabel(int deck) const {
    return deck == 1 ? w_.player1time : w_.player2time;
}

void TDeckEngine::SetDeckVolume(int deck, int value) {
    Guarded([&] { Deck(deck).SetVolume(value); });
}

int TDeckEngine::GetDeckVolume(int deck) const {
    return (deck == 1 ? MediaPlayer1 : MediaPlayer2).GetVolume();
}

void TDeckEngine::LoadDeck(int deck, int index) {
    auto& player = Deck(deck);
    player.FileName = playlist::PathAt(w_.ListView1, index);
    player.Open(player.FileName);
    player.Play();
}

void TDeckEngine::SetPlayCaption(const char* text) {
    if (w_.Play1)
        w_.Play1->setText(text);
}

void TDeckEngine::Play1Click() {
    if (playlist::Count(w_.ListView1) == 0)
        return;
    if (ListPlaying) {
        Timer1.stop();
        Timer2.stop();
        shell::ProcessMessages();
        SetPlayCaption("Play");
        Guarded([&] { MediaPlayer1.Close(); });
        Guarded([&] { MediaPlayer2.Close(); });
        SetText(w_.player1lbl, "- - -");
        SetText(w_.player2lbl, "- - -");
        ListPlaying = false;
        shell::ProcessMessages();
        return;
    }
    playlist::Select(w_.ListView1, 0);
    w_.ListView1->repaint();
    ListPlaying = true;
    CurrentDeck = 1;
    CurrentIndex = 0;
    Guarded([&] {
        LoadDeck(1, 0); // at the volume the freshly opened deck has
        SetText(w_.player1lbl, playlist::TitleAt(w_.ListView1, 0));
    });
    Advancing = false;
    Enable(Timer1);
    Enable(Timer2);
    SetPlayCaption("Stop");
    CrossFading = false;
    shell::ProcessMessages();
}

void TDeckEngine::ListView1DblClick() {
    if (playlist::Count(w_.ListView1) == 0)
        return;
    const int index = playlist::SelectedIndex(w_.ListView1);
    if (index < 0)
        return; // nothing selected: nothing to play
    CurrentIndex = index;
    if (CurrentDeck == 1) {
        CurrentDeck = 2;
        Guarded([&] {
            LoadDeck(2, index);
            SetDeckVolume(2, 0);
            CrossFading = true;
            SetText(w_.player2lbl, playlist::TitleAt(w_.ListView1, index));
        });
    } else {
        CurrentDeck = 1;
        Guarded([&] {
            LoadDeck(1, index);
            SetDeckVolume(1, 0);
            SetText(w_.player1lbl, playlist::TitleAt(w_.ListView1, index));
        });
        // Even when (A) failed to open: (B) then fades out to silence.
        CrossFading = true;
    }
    Enable(Timer1);
    Enable(Timer2);
    Advancing = false;
    SetPlayCaption("Stop");
}

void TDeckEngine::PlayOnSelectedItem(int deck) {
    const int index = playlist::SelectedIndex(w_.ListView1);
    if (index < 0)
        return; // nothing selected: nothing to play
    CurrentIndex = index;
    CurrentDeck = deck;
    Guarded([&] {
        LoadDeck(deck, index);
        const QString title = playlist::TitleAt(w_.ListView1, index);
        if (deck == 1) {
            SetDeckVolume(1, 0);
            SetText(w_.player1lbl, title);
        } else {
            SetText(w_.player2lbl, title);
            SetDeckVolume(2, 0);
        }
    });
    Enable(Timer2);
    Enable(Timer1);
    CrossFading = true;
    Advancing = false;
    SetPlayCaption("Stop");
}

void TDeckEngine::PlayerA1Click() {
    PlayOnSelectedItem(1);
}
void TDeckEngine::PlayerB1Click() {
    PlayOnSelectedItem(2);
}

void TDeckEngine::StopDeck(int deck) {
    SetText(TitleLabel(deck), "STOP");
    SetText(TimeLabel(deck), deck == 1 ? "(A) - - -" : "(B) - - -");
    Guarded([&] { Deck(deck).Stop(); });
    Guarded([&] { Deck(deck).Close(); });
}

void TDeckEngine::Stop1Click() {
    StopDeck(1);
}
void TDeckEngine::MenuItem1Click() {
    StopDeck(2);
}

void TDeckEngine::player1volChange(int position) {
    CrossFading = false;
    SetDeckVolume(1, kFullVolume - position);
}

void TDeckEngine::player2volChange(int position) {
    CrossFading = false;
    SetDeckVolume(2, kFullVolume - position);
}

void TDeckEngine::ShowColours() {
    const int lit = CurrentDeck == 1 ? 1 : 2;
    const int grey = lit == 1 ? 2 : 1;
    SetColour(TitleLabel(lit), TextColour());
    SetColour(TimeLabel(lit), TextColour());
    SetColour(TitleLabel(grey), IdleColour());
    SetColour(TimeLabel(grey), IdleColour());
}

void TDeckEngine::ShowDeckTime(int deck) {
    Guarded([&] {
        auto& player = Deck(deck);
        const int position = player.Position();
        const int length = player.Length(); // a deck that is not open keeps its label
        player.SetTimeFormatMilliseconds();
        SetText(TimeLabel(deck), DeckTimeText(deck == 1 ? 'A' : 'B', position, length));
    });
}

void TDeckEngine::AdvanceTo(int deck) {
    ++CurrentIndex;
    if (CurrentIndex > playlist::Count(w_.ListView1) - 1)
        CurrentIndex = 0;
    Advancing = true;
    Guarded([&] { Deck(deck).Close(); });
    SetText(TitleLabel(deck), "");
    CurrentDeck = deck;
    Guarded([&] {
        SetText(TitleLabel(deck), playlist::TitleAt(w_.ListView1, CurrentIndex));
        LoadDeck(deck, CurrentIndex);
        SetDeckVolume(deck, 0);
        CrossFading = true;
        playlist::Select(w_.ListView1, CurrentIndex);
        if (w_.form)
            w_.form->repaint();
        shell::ProcessMessages();
    });
    shell::ProcessMessages();
}

void TDeckEngine::StopCheck() {
    Guarded([&] {
        auto& incoming = Deck(CurrentDeck);
        const int outgoing = CurrentDeck == 1 ? 2 : 1;
        bool cut = GetDeckVolume(outgoing) == 0;
        if (!cut) {
            const int position = incoming.Position();
            const int length = incoming.Length(); // fails when the incoming deck is not open
            cut = position == length || length == 0 || incoming.FileName.empty();
        }
        if (cut) {
            Guarded([&] { Deck(outgoing).Stop(); });
            Guarded([&] { Deck(outgoing).Close(); });
        }
        Advancing = false;
    });
}

void TDeckEngine::Timer1Timer() {
    Timer1.stop(); // no second tick inside this one, even while messages run
    ShowColours();
    ShowDeckTime(1);
    ShowDeckTime(2);
    Guarded([&] {
        if (MediaPlayer1.Length() > 0 &&
            MediaPlayer1.Position() >= MediaPlayer1.Length() - kAdvanceBeforeEndMs &&
            CurrentDeck == 1 && !Advancing)
            AdvanceTo(2);
    });
    Guarded([&] {
        if (MediaPlayer2.Length() > 0 &&
            MediaPlayer2.Position() >= MediaPlayer2.Length() - kAdvanceBeforeEndMs &&
            CurrentDeck == 2 && !Advancing)
            AdvanceTo(1);
    });
    if (Advancing)
        StopCheck();
    if (CurrentIndex > playlist::Count(w_.ListView1) - 1) {
        CurrentIndex = 0;
        shell::ProcessMessages();
    }
    Timer1.start();
}

void TDeckEngine::Timer2Timer() {
    if (!CrossFading)
        return;
    int v = 0;
    if (CurrentDeck == 1) {
        SetDeckVolume(2, std::max(GetDeckVolume(2) - kFadeStep, 0));
        v = std::min(GetDeckVolume(1) + kFadeStep, kFullVolume);
        SetDeckVolume(1, v);
    } else {
        SetDeckVolume(1, std::max(GetDeckVolume(1) - kFadeStep, 0));
        // Deck (B) fades in to full volume as deck (A) does, so that the
        // tracks of a list play at one level whichever deck takes them.
        v = std::min(GetDeckVolume(2) + kFadeStep, kFullVolume);
        SetDeckVolume(2, v);
    }
    if (v <= 0)
        CrossFading = false;
}
