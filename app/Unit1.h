#pragma once

#include "convert/ToolState.h"

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QTabWidget;
class QTimer;
class QTreeView;
class InputLevel;
class MprisService;
class SessionPlaylist;
class Settings;
class TBroadcastController;
class TConversion;
class TDeckEngine;
class TrackShaper;
namespace audio {
class AudioEngine;
}
class MixerPanelControls;
class TFBVUMeter;
class TMusicLibrary;
class TPlaylist;
class TXiTrackBar;
class TPlaylistDropTarget;
class TTagEditor;

// The main window: owns every component of the program for the whole run and
// connects the controls to the subsystems' handlers. The subsystems' logic
// lives in their own folders; this class is the window's shell: its controls
// and their design values, menus, layout rules, start-up and close.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Shell handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    bool FormCloseQuery();
    void FormDestroy();
    void Exit2Click();
    void About1Click();

    // The address "About" opens.
    static std::string AboutAddress();

    // Opens the system mixer and the sound devices (once); the first showing
    // of the window does it on the next turn of the event loop.
    void OpenSoundDevices();

    // Steps of the start-up sequence, in order (the first two and the last
    // run in OpenSoundDevices).
    void StartupMicrophone();
    void StartupLevelCapture();
    void StartupDeckSliders();
    void InstallDropHook();
    void StartupMasterVolume();
    void StartupDataFolders();

    // Stops an automatic cross-fade where it stands (deck and microphone sliders).
    void ClearCrossFading();

    std::string DataFolder;

    // Controls (design names).
    QTabWidget* PageControl1 = nullptr;
    QWidget *playlistTab = nullptr, *libraryTab = nullptr, *broadcastTab = nullptr;
    QGroupBox *playerbox1 = nullptr, *playerbox2 = nullptr;
    QLabel *Image1 = nullptr, *Image2 = nullptr;
    QLabel *player1lbl = nullptr, *player2lbl = nullptr;
    QLabel *player1time = nullptr, *player2time = nullptr;
    QWidget* player1paintbox1 = nullptr;
    QFrame* mixerbox = nullptr;
    TXiTrackBar *player1vol = nullptr, *mastervol = nullptr, *micvol = nullptr,
                *player2vol = nullptr;
    TFBVUMeter* vumeterleft = nullptr;
    QCheckBox* micmute = nullptr;
    QTreeView* playlistView = nullptr;
    QTimer* streamingupdatebackgroundtimer = nullptr;

    // Menus.
    QMenu* MainMenuPlaylist = nullptr;
    QAction *AddTracks2 = nullptr, *Load1 = nullptr, *Save1 = nullptr, *playAction = nullptr;
    QAction *About1 = nullptr, *Exit2 = nullptr;
    QAction* Find1 = nullptr; // focus the search box
    QMenu* MainMenuSettings = nullptr;
    QAction* RestorePlaylist1 = nullptr;
    // In the "Settings" submenu: checkable, kept in the settings file.
    QAction *NormaliseLoudness1 = nullptr, *SkipSilence1 = nullptr;
    QMenu *PopupMenu1 = nullptr, *PopupMenu2 = nullptr, *PopupMenu3 = nullptr;
    QAction *AddTracks1 = nullptr, *LoadPlaylist1 = nullptr, *PlayerA1 = nullptr,
            *PlayerB1 = nullptr;
    QAction *Move1 = nullptr, *Move2 = nullptr, *remove1 = nullptr;
    QAction *Stop1 = nullptr, *MenuItem1 = nullptr;

    // Subsystems. The audio engine outlives the decks that play on it; the
    // playlist outlives the list view that shows it.
    std::unique_ptr<TPlaylist> playlist;
    std::unique_ptr<audio::AudioEngine> audioEngine;
    std::unique_ptr<TDeckEngine> decks;
    std::unique_ptr<TTagEditor> tagEditor;
    std::unique_ptr<MixerPanelControls> mixerControls; // null until OpenSoundDevices
    InputLevel* inputLevel = nullptr;
    TMusicLibrary* musicLibrary = nullptr;
    // What the tool runs of the conversion and the broadcast share (the reset
    // of the conversion controls after a tool could not be started).
    ToolState toolState;
    TConversion* conversion = nullptr;
    TBroadcastController* broadcast = nullptr;
    TPlaylistDropTarget* dropTarget = nullptr;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TrackShaper> trackShaper; // uses decks, playlist and settings
    // Both read the playlist and the decks, which outlive them.
    std::unique_ptr<SessionPlaylist> session;
    std::unique_ptr<MprisService> mpris;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void BuildPlaylistPage();
    void BuildDeck(int deck);
    void BuildMixerPanel();
    void BuildMenus();
    void ConnectCommands();
    void BindDecks();
    void FindMusic();
    void StartupSession();
    void StartupMediaControls();
    void BindSettings();

    bool destroyed = false;
    bool soundDevicesAsked = false;
};
