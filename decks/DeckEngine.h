#pragma once

#include "platform/audio/TMediaPlayer.h"

#include <QObject>
#include <QTimer>

class QAction;
class QLabel;
class QTreeWidget;
class QWidget;

namespace audio {
class AudioEngine;
}

// The widgets the deck engine reads and writes; all belong to the main window.
struct DeckWidgets {
    QTreeWidget* ListView1 = nullptr; // the playlist
    QLabel* player1lbl = nullptr;     // deck (A) title
    QLabel* player2lbl = nullptr;     // deck (B) title
    QLabel* player1time = nullptr;    // deck (A) time
    QLabel* player2time = nullptr;    // deck (B) time
    QAction* Play1 = nullptr;         // main menu "Play"/"Stop"
    QWidget* form = nullptr;          // the window, repainted after an advance
};

// The two decks, (A) = MediaPlayer1 and (B) = MediaPlayer2, playing the
// playlist in turn: ten seconds before the current track ends the next one
// starts on the other deck at volume 0 and Timer2 cross-fades the two by 100
// a second. Every deck operation inside a command or tick is guarded: a
// failure skips the rest of its block and nothing is shown.
//
// Label colours are set on each label's palette (QPalette::WindowText): the
// current deck's labels in the text colour, the other deck's in grey. A style
// sheet that sets QLabel's colour would hide them.
//
// Wiring in TForm1 (the controller owns Timer1 and Timer2 and connects them):
//   Play1 triggered                     -> Play1Click
//   ListView1 itemDoubleClicked         -> ListView1DblClick
//   "Player (A)" action, Image1 double click -> PlayerA1Click
//   "Player (B)" action, Image2 double click -> PlayerB1Click
//   PopupMenu2 "Stop"                   -> Stop1Click
//   PopupMenu3 "Stop"                   -> MenuItem1Click
//   player1vol valueChanged(int)        -> player1volChange
//   player2vol valueChanged(int)        -> player2volChange
//   micvol's change handler             -> ClearCrossFading
// The engine passed in must outlive this object.
class TDeckEngine : public QObject {
    Q_OBJECT
public:
    TDeckEngine(audio::AudioEngine& engine, const DeckWidgets& widgets, QObject* parent = nullptr);

    int CurrentDeck = 0;  // 1 = (A), 2 = (B), 0 = none yet
    int CurrentIndex = 0; // playlist index of the current track
    bool ListPlaying = false;
    bool Advancing = false;
    bool CrossFading = false;

    audio::TMediaPlayer MediaPlayer1;
    audio::TMediaPlayer MediaPlayer2;
    QTimer Timer1; // display and advance, 500 ms
    QTimer Timer2; // cross-fade, 1000 ms

    // Deck volume 0..1000; setting fails silently on a deck that is not open.
    void SetDeckVolume(int deck, int value);
    int GetDeckVolume(int deck) const;

    static QColor TextColour();
    static QColor IdleColour();

public slots:
    void Play1Click();
    void ListView1DblClick();
    void PlayerA1Click();
    void PlayerB1Click();
    void Stop1Click();
    void MenuItem1Click();
    void player1volChange(int position);
    void player2volChange(int position);
    void Timer1Timer();
    void Timer2Timer();
    void ClearCrossFading() { CrossFading = false; }

private:
    audio::TMediaPlayer& Deck(int deck);
    QLabel* TitleLabel(int deck) const;
    QLabel* TimeLabel(int deck) const;
    void LoadDeck(int deck, int index);
    void ShowDeckTime(int deck);
    void AdvanceTo(int deck);
    void StopCheck();
    void PlayOnSelectedItem(int deck);
    void StopDeck(int deck);
    void ShowColours();
    void SetPlayCaption(const char* text);

    DeckWidgets w_;
};
