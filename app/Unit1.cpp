#include "app/Unit1.h"

#include "app/AppLog.h"
#include "app/DataFolders.h"
#include "app/LayoutRules.h"
#include "app/MprisService.h"
#include "app/SessionPlaylist.h"
#include "app/Settings.h"
#include "app/TrackShaper.h"
#include "broadcast/BroadcastController.h"
#include "broadcast/ToolCallbacks.h"
#include "convert/ConversionPipeline.h"
#include "decks/DeckEngine.h"
#include "decks/Playlist.h"
#include "decks/PlaylistDropTarget.h"
#include "decks/PlaylistFileCommands.h"
#include "decks/TagEditor.h"
#include "mixer/InputLevel.h"
#include "mixer/MixerPanelControls.h"
#include "mixer/XiTrackBar.h"
#include "platform/Dialogs.h"
#include "platform/Guarded.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/Version.h"
#include "platform/audio/AudioEngine.h"
#include "search/Base64.h"
#include "search/ClickLabel.h"
#include "search/MusicLibrary.h"
#include "search/SearchAddress.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace {
// Set on the palette (QPalette::WindowText): a style sheet that sets QLabel's
// colour would hide it.
void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}
} // namespace

static void LoadResources() {
    // The pictures are compiled into the static kv_app library.
    Q_INIT_RESOURCE(resources);
}

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent) {
    LoadResources();
    settings = std::make_unique<Settings>();
    playlist = std::make_unique<TPlaylist>(this);
    BuildWindow();
    audioEngine = audio::CreateAudioEngine();
    decks = std::make_unique<TDeckEngine>(*audioEngine, *playlist);
    BindDecks();
    trackShaper = std::make_unique<TrackShaper>(*settings, *playlist, *decks);
    BindSettings();
    tagEditor = std::make_unique<TTagEditor>(playlistTab, *playlist);
    dropTarget =
        new TPlaylistDropTarget(playlistView, [this](const std::vector<std::string>& paths) {
            playlist->WMDROPFILES(paths);
        });
    ConnectCommands();
    FormCreate();
    // The search keeps its answers in the data folder, known from start-up on.
    musicLibrary = new TMusicLibrary(libraryTab, DataFolder, this);
    conversion = new TConversion(musicLibrary, &toolState, this);
    broadcast =
        new TBroadcastController(broadcastTab, DataFolder, this, ToolRunnerCallbacks(toolState));
    StartupSession();
    StartupMediaControls();
}

TForm1::~TForm1() {
    FormDestroy();
    dialogs::SetFolderMemory({});
    // The list view shows the playlist, which goes before the window's children.
    delete playlistView;
    // These two use toolState, a member that dies before the window's children.
    delete broadcast;
    delete conversion;
}

void TForm1::ConnectCommands() {
    auto command = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { dialogs::RunCommand(handler, this); });
    };
    command(AddTracks2, [this] { playlist->AddTracks2Click(); });
    command(AddTracks1, [this] { playlist->AddTracks1Click(); });
    command(Load1, [this] { Load1Click(*playlist, this); });
    command(Save1, [this] { Save1Click(*playlist, this); });
    command(About1, [this] { About1Click(); });
    command(Find1, [this] { FindMusic(); });
    command(Exit2, [this] { Exit2Click(); });
    command(LoadPlaylist1, [this] { tagEditor->LoadPlaylist1Click(frameGeometry().width()); });
    command(Move1, [this] { playlist->Move1Click(); });
    command(Move2, [this] { playlist->Move2Click(); });
    command(remove1, [this] { playlist->remove1Click(); });
    playlistView->installEventFilter(this);

    command(playAction, [this] { decks->Play1Click(); });
    command(PlayerA1, [this] { decks->PlayerA1Click(); });
    command(PlayerB1, [this] { decks->PlayerB1Click(); });
    command(Stop1, [this] { decks->Stop1Click(); });
    command(MenuItem1, [this] { decks->MenuItem1Click(); });
    connect(playlistView, &QAbstractItemView::doubleClicked, this,
            [this] { dialogs::RunCommand([this] { decks->ListView1DblClick(); }, this); });
    connect(player1vol, &TXiTrackBar::OnChange, this,
            [this] { decks->player1volChange(player1vol->Position()); });
    connect(player2vol, &TXiTrackBar::OnChange, this,
            [this] { decks->player2volChange(player2vol->Position()); });
    connect(mastervol, &TXiTrackBar::OnChange, this, [this] {
        if (mixerControls)
            mixerControls->mastervolChange(mastervol->Position());
    });
    connect(micvol, &TXiTrackBar::OnChange, this, [this] {
        if (mixerControls)
            mixerControls->micvolChange(micvol->Position());
    });
    connect(micmute, &QCheckBox::clicked, this, [this] {
        if (mixerControls)
            mixerControls->micmuteClick();
    });
}

// The deck labels and the "Play" item show what the deck engine says.
void TForm1::BindDecks() {
    auto title = [this](int deck) { return deck == 1 ? player1lbl : player2lbl; };
    auto time = [this](int deck) { return deck == 1 ? player1time : player2time; };
    connect(decks.get(), &TDeckEngine::titleChanged, this,
            [title](int deck, const QString& text) { title(deck)->setText(text); });
    connect(decks.get(), &TDeckEngine::timeChanged, this,
            [time](int deck, const QString& text) { time(deck)->setText(text); });
    connect(decks.get(), &TDeckEngine::colourChanged, this,
            [title, time](int deck, const QColor& colour) {
                SetTextColour(title(deck), colour);
                SetTextColour(time(deck), colour);
            });
    connect(decks.get(), &TDeckEngine::playCaptionChanged, playAction, &QAction::setText);
}

// The setting is read at start; the list is kept whatever it says.
void TForm1::StartupSession() {
    const QString key = QStringLiteral("session/restorePlaylist");
    RestorePlaylist1->setChecked(settings->Value(key, true).toBool());
    connect(RestorePlaylist1, &QAction::toggled, this, [this, key](bool on) {
        settings->SetValue(key, on);
        settings->Sync();
    });
    dialogs::SetFolderMemory(
        {[this](const QString& kind) {
             return settings->Value(QStringLiteral("folders/") + kind).toString();
         },
         [this](const QString& kind, const QString& folder) {
             settings->SetValue(QStringLiteral("folders/") + kind, folder);
             settings->Sync();
         }});
    session = std::make_unique<SessionPlaylist>(*playlist);
    if (RestorePlaylist1->isChecked())
        Guarded(lcApp, "restoring the playlist", [this] { session->Restore(); });
}

void TForm1::StartupMediaControls() {
    mpris = MprisService::Start(*decks, *playlist,
                                {[this] {
                                     show();
                                     raise();
                                     activateWindow();
                                 },
                                 [this] { Exit2Click(); }});
}

void TForm1::FindMusic() {
    if (!musicLibrary)
        return;
    PageControl1->setCurrentWidget(libraryTab);
    QLineEdit* box = musicLibrary->Widgets().qedit;
    box->setFocus(Qt::ShortcutFocusReason);
    box->selectAll();
}

// The settings' menu items show the stored choices and store each change.
void TForm1::BindSettings() {
    NormaliseLoudness1->setChecked(settings->NormaliseLoudness());
    SkipSilence1->setChecked(settings->SkipSilence());
    connect(NormaliseLoudness1, &QAction::toggled, this, [this](bool on) {
        settings->SetNormaliseLoudness(on);
        settings->Sync();
        trackShaper->SettingsChanged();
    });
    connect(SkipSilence1, &QAction::toggled, this, [this](bool on) {
        settings->SetSkipSilence(on);
        settings->Sync();
        trackShaper->SettingsChanged();
    });
}

void TForm1::ClearCrossFading() {
    decks->ClearCrossFading();
}

void TForm1::FormCreate() {
    StartupDeckSliders();
    InstallDropHook();
    StartupDataFolders();
    setWindowTitle(QString::fromLatin1(kv::kWindowCaption));
}

// The system mixer, the level capture and the sound output take a noticeable
// time to open (a sound server to reach, PortAudio probing its devices); the
// window is shown first and they are opened on the next turn of the event
// loop. The output device opens on the audio engine's own thread.
void TForm1::OpenSoundDevices() {
    if (mixerControls)
        return;
    // Creating it applies the master volume component's stored values.
    mixerControls = std::make_unique<MixerPanelControls>(MixerPanelWidgets{
        micmute, [this](int p) { mastervol->SetPosition(p); },
        [this](int p) { micvol->SetPosition(p); }, [this] { ClearCrossFading(); }});
    StartupMicrophone();
    StartupLevelCapture();
    StartupMasterVolume();
    audioEngine->OpenDevice();
}

void TForm1::StartupMicrophone() {
    Guarded(lcApp, "microphone start-up", [this] { mixerControls->StartupMicrophone(); });
}

void TForm1::StartupLevelCapture() {
    Guarded(lcApp, "level capture start-up", [this] {
        inputLevel = new InputLevel(vumeterleft, this);
        inputLevel->Start();
    });
}

void TForm1::StartupDeckSliders() {
    player1vol->SetPosition(800);
    player2vol->SetPosition(800);
}

void TForm1::InstallDropHook() {
    dropTarget->Install();
}

void TForm1::StartupMasterVolume() {
    Guarded(lcApp, "master volume start-up", [this] { mixerControls->StartupMasterVolume(); });
}

void TForm1::StartupDataFolders() {
    Guarded(lcApp, "creating the data folders",
            [this] { DataFolder = CreateDataFolders(shell::LocalAppDataFolder()); });
}

void TForm1::FormShow() {
    FormResize();
}

void TForm1::FormResize() {
    LayoutInput in;
    in.windowWidth = frameGeometry().width();
    in.windowHeight = frameGeometry().height();
    in.playerbox1Height = playerbox1->height();
    in.playerbox2Width = playerbox2->width();
    in.mixerboxWidth = mixerbox->width();
    in.listViewLeft = playlistView->x();
    const MusicLibraryWidgets* music = musicLibrary ? &musicLibrary->Widgets() : nullptr;
    if (music) {
        in.resultslistLeft = music->resultslist->x();
        in.morelblWidth = music->morelbl->width();
        in.previewboxWidth = music->previewbox->width();
        in.previewboxHeight = music->previewbox->height();
    }
    const LayoutResult r = ComputeLayout(in);

    PageControl1->resize(r.pageWidth, r.pageHeight);
    playlistView->resize(r.listViewWidth, playlistView->height());
    playlistView->setColumnWidth(0, r.fileColumnWidth);
    playlistView->setColumnWidth(1, r.trackColumnWidth);
    playerbox1->move(r.playerbox1Left, r.playerbox1Top);
    playerbox2->move(r.playerbox2Left, r.playerbox2Top);
    mixerbox->move(r.mixerboxLeft, mixerbox->y());
    playlistView->setGeometry(playlistView->x(), r.listViewTop, playlistView->width(),
                              r.listViewHeight);
    if (music) {
        music->musicbox->resize(r.musicboxWidth, music->musicbox->height());
        music->resultslist->resize(r.resultslistWidth, music->resultslist->height());
        music->resultslist->setColumnWidth(0, r.resultsColumn0Width);
        music->morelbl->move(r.morelblLeft, music->morelbl->y());
        music->previewbox->move(r.previewboxLeft, r.previewboxTop);
    }
}

bool TForm1::FormCloseQuery() {
    if (inputLevel)
        inputLevel->StopWhenDrained();
    return true;
}

void TForm1::FormDestroy() {
    if (destroyed)
        return;
    destroyed = true;
    dropTarget->Remove();
    // Exit leaves the microphone and the master volume as they were found.
    if (mixerControls)
        mixerControls->RestoreSystemMixer();
}

void TForm1::Exit2Click() {
    if (FormCloseQuery())
        QApplication::quit();
}

std::string TForm1::AboutAddress() {
    return SchemePrefix() + TrimRight(settings::SiteHost()) + "/kolvadeck/";
}

// Without a program to open addresses, the address is shown instead, in a
// box that does not hold up the window.
void TForm1::About1Click() {
    Guarded(lcApp, "opening the about page", [this] {
        const std::string address = AboutAddress();
        if (!shell::OpenUrl(address))
            dialogs::OpenError(tr("No web browser could be opened. The address is %1")
                                   .arg(QString::fromStdString(address)),
                               this);
    });
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
    if (!soundDevicesAsked) {
        soundDevicesAsked = true;
        QTimer::singleShot(0, this, [this] { OpenSoundDevices(); });
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && (watched == Image1 || watched == Image2)) {
        dialogs::RunCommand(
            [&] { watched == Image1 ? decks->PlayerA1Click() : decks->PlayerB1Click(); }, this);
        return true;
    }
    if (watched == playlistView && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text == QLatin1String("-") || text == QLatin1String("+")) {
            dialogs::RunCommand([&] { playlist->ListView1KeyPress(text.front()); }, this);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
