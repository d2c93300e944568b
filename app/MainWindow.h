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

// The window's controls and menu items, created once by the window and owned
// by it (Qt parents). Callers and tests reach them through
// MainWindow::controls(); the pointers themselves cannot be changed there.
struct MainWindowControls {
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
};

// The main window: owns every component of the program for the whole run and
// connects the controls to the subsystems' handlers. The subsystems' logic
// lives in their own folders; this class is the window's shell: its controls
// and their design values, menus, layout rules, start-up and close.
class MainWindow : public QMainWindow, private MainWindowControls {
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
    static std::string aboutAddress();

    // Opens the system mixer and the sound devices (once); the first showing
    // of the window does it on the next turn of the event loop.
    void openSoundDevices();

    // Steps of the start-up sequence, in order (the first two and the last
    // run in OpenSoundDevices).
    void startupMicrophone();
    void startupLevelCapture();
    void startupDeckSliders();
    void installDropHook();
    void startupMasterVolume();
    void startupDataFolders();
    void exportPlayHistory();

    // Stops an automatic cross-fade where it stands (deck and microphone sliders).
    void clearCrossFading();

    const MainWindowControls& controls() const { return *this; }

    // The subsystems, for the program's entry and tests. inputLevel is null
    // until the sound devices are open, mpris without a session bus.
    Playlist* playlist() const { return playlist_.get(); }
    DeckEngine* decks() const { return decks_.get(); }
    audio::AudioEngine* audioEngine() const { return audioEngine_.get(); }
    TagEditor* tagEditor() const { return tagEditor_.get(); }
    MusicLibrary* musicLibrary() const { return musicLibrary_; }
    InputLevel* inputLevel() const { return inputLevel_; }
    MprisService* mpris() const { return mpris_.get(); }
    const std::string& dataFolder() const { return dataFolder_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The context menu's "Remove" item, not QWidget::removeAction.
    using MainWindowControls::removeAction;

    void buildWindow();
    void buildPlaylistPage();
    void buildDeck(Deck deck);
    void buildMixerPanel();
    void buildMenus();
    void connectCommands();
    void bindDecks();
    void findMusic();
    void startupSession();
    void startupMediaControls();
    void bindSettings();

    std::string dataFolder_;
    // Subsystems. The audio engine outlives the decks that play on it; the
    // playlist outlives the list view that shows it.
    std::unique_ptr<Playlist> playlist_;
    std::unique_ptr<audio::AudioEngine> audioEngine_;
    std::unique_ptr<DeckEngine> decks_;
    std::unique_ptr<PlayHistory> playHistory_; // in the data folder, known after startUp
    std::unique_ptr<TagEditor> tagEditor_;
    std::unique_ptr<MixerPanelControls> mixerControls_; // null until OpenSoundDevices
    InputLevel* inputLevel_ = nullptr;
    MusicLibrary* musicLibrary_ = nullptr;
    // What the tool runs of the conversion and the broadcast share (the reset
    // of the conversion controls after a tool could not be started).
    ToolState toolState_;
    ConversionPipeline* conversion_ = nullptr;
    BroadcastController* broadcast_ = nullptr;
    PlaylistDropTarget* dropTarget_ = nullptr;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TrackShaper> trackShaper_; // uses decks, playlist and settings
    // Both read the playlist and the decks, which outlive them.
    std::unique_ptr<SessionPlaylist> session_;
    std::unique_ptr<MprisService> mpris_;

    bool destroyed_ = false;
    bool soundDevicesAsked_ = false;
};
