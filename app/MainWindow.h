#pragma once

#include "convert/ToolState.h"
#include "decks/Deck.h"

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
class BroadcastController;
class ConversionPipeline;
class DeckEngine;
class PlayHistory;
class TrackShaper;
namespace audio {
class AudioEngine;
}
class MixerPanelControls;
class LevelMeter;
class MusicLibrary;
class Playlist;
class GradientSlider;
class PlaylistDropTarget;
class TagEditor;

// The main window: owns every component of the program for the whole run and
// connects the controls to the subsystems' handlers. The subsystems' logic
// lives in their own folders; this class is the window's shell: its controls
// and their design values, menus, layout rules, start-up and close.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shell handlers.
    void startUp();
    void onShown();
    void applyLayout();
    bool confirmClose();
    void tearDown();
    void quit();
    void showAbout();

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
    void ExportPlayHistory();

    // Stops an automatic cross-fade where it stands (deck and microphone sliders).
    void ClearCrossFading();

    std::string DataFolder;

    // Controls (design names).
    QTabWidget* tabs = nullptr;
    QWidget *playlistTab = nullptr, *libraryTab = nullptr, *broadcastTab = nullptr;
    QGroupBox *deckABox = nullptr, *deckBBox = nullptr;
    QLabel *deckAArt = nullptr, *deckBArt = nullptr;
    QLabel *deckATitle = nullptr, *deckBTitle = nullptr;
    QLabel *deckATime = nullptr, *deckBTime = nullptr;
    QWidget* deckAPaintBox = nullptr;
    QFrame* mixerBox = nullptr;
    GradientSlider *deckALevel = nullptr, *masterLevel = nullptr, *micLevel = nullptr,
                   *deckBLevel = nullptr;
    LevelMeter* inputMeter = nullptr;
    QCheckBox* micMute = nullptr;
    QTreeView* playlistView = nullptr;
    QTimer* backgroundRefreshTimer = nullptr;

    // Menus.
    QMenu* playlistMenu = nullptr;
    QAction *addTracksMenuAction = nullptr, *loadAction = nullptr, *saveAction = nullptr,
            *playAction = nullptr;
    QAction *aboutAction = nullptr, *exitAction = nullptr;
    QAction* exportHistoryAction = nullptr; // the tracks heard, as CSV
    QAction* findAction = nullptr;          // focus the search box
    QMenu* settingsMenu = nullptr;
    QAction* restorePlaylistAction = nullptr;
    // In the "Settings" submenu: checkable, kept in the settings file.
    QAction *normaliseLoudnessAction = nullptr, *skipSilenceAction = nullptr;
    QAction* smartTransitionsAction = nullptr;
    QAction* showBroadcastingAction = nullptr; // off by default

    QMenu *playlistContextMenu = nullptr, *deckAContextMenu = nullptr, *deckBContextMenu = nullptr;
    QAction *addTracksAction = nullptr, *tagInfoAction = nullptr, *playOnDeckAAction = nullptr,
            *playOnDeckBAction = nullptr;
    QAction *moveUpAction = nullptr, *moveDownAction = nullptr, *removeAction = nullptr;
    QAction *stopDeckAAction = nullptr, *stopDeckBAction = nullptr;

    // Subsystems. The audio engine outlives the decks that play on it; the
    // playlist outlives the list view that shows it.
    std::unique_ptr<Playlist> playlist;
    std::unique_ptr<audio::AudioEngine> audioEngine;
    std::unique_ptr<DeckEngine> decks;
    std::unique_ptr<PlayHistory> playHistory; // in the data folder, known after startUp
    std::unique_ptr<TagEditor> tagEditor;
    std::unique_ptr<MixerPanelControls> mixerControls; // null until OpenSoundDevices
    InputLevel* inputLevel = nullptr;
    MusicLibrary* musicLibrary = nullptr;
    // What the tool runs of the conversion and the broadcast share (the reset
    // of the conversion controls after a tool could not be started).
    ToolState toolState;
    ConversionPipeline* conversion = nullptr;
    BroadcastController* broadcast = nullptr;
    PlaylistDropTarget* dropTarget = nullptr;
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
    void BuildDeck(Deck deck);
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
