#include "app/MainWindow.h"

#include "app/AppLog.h"
#include "app/DataFolders.h"
#include "app/LayoutRules.h"
#include "app/MprisService.h"
#include "app/SessionPlaylist.h"
#include "app/Settings.h"
#include "app/TrackShaper.h"
#include "broadcast/BroadcastController.h"
#include "broadcast/ToolCallbacks.h"
#include "convert/ChildProcess.h"
#include "convert/ConversionPipeline.h"
#include "decks/DeckEngine.h"
#include "decks/PlayHistory.h"
#include "decks/Playlist.h"
#include "decks/PlaylistDropTarget.h"
#include "decks/PlaylistFileCommands.h"
#include "decks/TagEditor.h"
#include "mixer/GradientSlider.h"
#include "mixer/InputLevel.h"
#include "mixer/MixerPanelControls.h"
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
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <sys/wait.h>

namespace {

// Writes a slider's position (silently) and returns the position it shows.
int placeSlider(GradientSlider& slider, int position) {
    slider.setPosition(position);
    return slider.position();
}
// Set on the palette (QPalette::WindowText): a style sheet that sets QLabel's
// colour would hide it.
void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Hands an address to xdg-open and watches the opener's end from the event
// loop (through its pidfd), so that a failure is reported, not only a
// missing opener: xdg-open ends with a non-zero status when it finds no
// browser. Deletes itself once it has reported; an opener still running when
// the window goes is left to run, and reaped when it ends.
class AddressOpener : public QObject {
public:
    explicit AddressOpener(QObject* parent)
        : QObject(parent) {}

    void Start(const std::string& address, std::function<void()> failed) {
        failed_ = std::move(failed);
        const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (program.isEmpty() || ChildProcess::Start(program.toStdString(), {address}, child_) != 0)
            return Finish(false);
        if (child_.Descriptor() < 0)
            return Finish(true); // no pidfd to watch: only the start is known
        auto* ended = new QSocketNotifier(child_.Descriptor(), QSocketNotifier::Read, this);
        connect(ended, &QSocketNotifier::activated, this, [this, ended] {
            ended->setEnabled(false);
            siginfo_t info{};
            const bool opened = child_.HasEnded() &&
                                ::waitid(P_PID, static_cast<id_t>(child_.Pid()), &info,
                                         WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                info.si_code == CLD_EXITED && info.si_status == 0;
            child_.Release();
            Finish(opened);
        });
    }

private:
    void Finish(bool opened) {
        if (!opened) {
            qCInfo(lcApp, "xdg-open could not open the address");
            failed_();
        }
        deleteLater();
    }

    ChildProcess child_;
    std::function<void()> failed_;
};
} // namespace

static void LoadResources() {
    // The pictures are compiled into the static kv_app library.
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent) {
    LoadResources();
    settings = std::make_unique<Settings>();
    playlist = std::make_unique<Playlist>(this);
    BuildWindow();
    audioEngine = audio::CreateAudioEngine();
    decks = std::make_unique<DeckEngine>(*audioEngine, *playlist);
    BindDecks();
    trackShaper = std::make_unique<TrackShaper>(*settings, *playlist, *decks);
    BindSettings();
    tagEditor = std::make_unique<TagEditor>(playlistTab, *playlist);
    dropTarget =
        new PlaylistDropTarget(playlistView, [this](const std::vector<std::string>& paths) {
            playlist->addDroppedFiles(paths);
        });
    ConnectCommands();
    startUp();
    playHistory = std::make_unique<PlayHistory>(
        DataFolder.empty() ? QString() : QString::fromStdString(DataFolder + "play-history.csv"));
    connect(decks.get(), &DeckEngine::trackLeft, this,
            [this](const QString& path, const QDateTime& began, int seconds) {
                playHistory->Record(began, path.toStdString(), seconds);
            });
    // The search keeps its answers in the data folder, known from start-up on.
    musicLibrary = new MusicLibrary(libraryTab, DataFolder, this);
    // The library's local tracks join the playlist as dropped files do.
    connect(musicLibrary, &MusicLibrary::addToPlaylistRequested, this,
            [this](const QStringList& paths) {
                std::vector<std::string> files;
                for (const QString& path : paths)
                    files.push_back(path.toStdString());
                playlist->addDroppedFiles(files);
            });
    conversion = new ConversionPipeline(musicLibrary, &toolState, this);
    broadcast =
        new BroadcastController(broadcastTab, DataFolder, this, ToolRunnerCallbacks(toolState));
    // The broadcast sends the decks' own mix, names each track as it starts
    // and skips a track that has gone silent.
    broadcast->AttachDecks(*audioEngine, [this] { decks->AdvanceNow(); });
    connect(decks.get(), &DeckEngine::trackStarted, this,
            [this](Deck, int index) { broadcast->TrackStarted(playlist->TitleAt(index)); });
    StartupSession();
    StartupMediaControls();
}

MainWindow::~MainWindow() {
    tearDown();
    dialogs::SetFolderMemory({});
    // The list view shows the playlist, which goes before the window's children.
    delete playlistView;
    // These two use toolState, a member that dies before the window's children.
    delete broadcast;
    delete conversion;
}

void MainWindow::ConnectCommands() {
    auto command = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { dialogs::RunCommand(handler, this); });
    };
    command(addTracksMenuAction, [this] { playlist->addTracks(); });
    command(addTracksAction, [this] { playlist->addTracks(); });
    command(loadAction, [this] { loadPlaylistFile(*playlist, this); });
    command(saveAction, [this] { savePlaylistFile(*playlist, this); });
    command(exportHistoryAction, [this] { ExportPlayHistory(); });
    command(aboutAction, [this] { showAbout(); });
    command(findAction, [this] { FindMusic(); });
    command(exitAction, [this] { quit(); });
    command(tagInfoAction, [this] { tagEditor->showForSelected(frameGeometry().width()); });
    command(moveUpAction, [this] { playlist->moveUp(); });
    command(moveDownAction, [this] { playlist->moveDown(); });
    command(removeAction, [this] { playlist->removeSelected(); });
    playlistView->installEventFilter(this);

    command(playAction, [this] { decks->playOrStop(); });
    command(playOnDeckAAction, [this] { decks->playSelectedOn(Deck::A); });
    command(playOnDeckBAction, [this] { decks->playSelectedOn(Deck::B); });
    command(stopDeckAAction, [this] { decks->stopDeck(Deck::A); });
    command(stopDeckBAction, [this] { decks->stopDeck(Deck::B); });
    connect(playlistView, &QAbstractItemView::doubleClicked, this,
            [this] { dialogs::RunCommand([this] { decks->playSelectedWithFade(); }, this); });
    connect(deckALevel, &GradientSlider::sliderMoved, this,
            [this](int position) { decks->setDeckLevel(Deck::A, position); });
    connect(deckBLevel, &GradientSlider::sliderMoved, this,
            [this](int position) { decks->setDeckLevel(Deck::B, position); });
    connect(masterLevel, &GradientSlider::sliderMoved, this, [this](int position) {
        if (mixerControls)
            mixerControls->setMasterVolume(position);
    });
    connect(micLevel, &GradientSlider::sliderMoved, this, [this](int position) {
        if (mixerControls)
            mixerControls->setMicVolume(position);
    });
    connect(micMute, &QCheckBox::clicked, this, [this] {
        if (mixerControls)
            mixerControls->applyMicMute();
    });
}

// The deck labels and the "Play" item show what the deck engine says.
void MainWindow::BindDecks() {
    auto title = [this](Deck deck) { return deck == Deck::A ? deckATitle : deckBTitle; };
    auto time = [this](Deck deck) { return deck == Deck::A ? deckATime : deckBTime; };
    connect(decks.get(), &DeckEngine::titleChanged, this,
            [title](Deck deck, const QString& text) { title(deck)->setText(text); });
    connect(decks.get(), &DeckEngine::timeChanged, this,
            [time](Deck deck, const QString& text) { time(deck)->setText(text); });
    connect(decks.get(), &DeckEngine::colourChanged, this,
            [title, time](Deck deck, const QColor& colour) {
                SetTextColour(title(deck), colour);
                SetTextColour(time(deck), colour);
            });
    connect(decks.get(), &DeckEngine::playCaptionChanged, playAction, &QAction::setText);
}

// The setting is read at start; the list is kept whatever it says.
void MainWindow::StartupSession() {
    const QString key = QStringLiteral("session/restorePlaylist");
    restorePlaylistAction->setChecked(settings->Value(key, true).toBool());
    connect(restorePlaylistAction, &QAction::toggled, this, [this, key](bool on) {
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
    if (restorePlaylistAction->isChecked())
        Guarded(lcApp, "restoring the playlist", [this] { session->Restore(); });
}

void MainWindow::StartupMediaControls() {
    mpris = MprisService::Start(*decks, *playlist,
                                {[this] {
                                     show();
                                     raise();
                                     activateWindow();
                                 },
                                 [this] { quit(); }});
}

void MainWindow::FindMusic() {
    if (!musicLibrary)
        return;
    tabs->setCurrentWidget(libraryTab);
    QLineEdit* box = musicLibrary->Widgets().searchBox;
    box->setFocus(Qt::ShortcutFocusReason);
    box->selectAll();
}

// The settings' menu items show the stored choices and store each change.
void MainWindow::BindSettings() {
    // The Broadcasting tab shows when asked for here or by the environment.
    const QString showKey = QStringLiteral("view/showBroadcasting");
    const bool fromEnvironment = qEnvironmentVariable("KOLVADECK_SHOW_BROADCASTING") == "1";
    showBroadcastingAction->setChecked(settings->Value(showKey, false).toBool());
    tabs->setTabVisible(2, fromEnvironment || showBroadcastingAction->isChecked());
    connect(showBroadcastingAction, &QAction::toggled, this,
            [this, showKey, fromEnvironment](bool on) {
                settings->SetValue(showKey, on);
                settings->Sync();
                tabs->setTabVisible(2, fromEnvironment || on);
            });
    normaliseLoudnessAction->setChecked(settings->NormaliseLoudness());
    skipSilenceAction->setChecked(settings->SkipSilence());
    connect(normaliseLoudnessAction, &QAction::toggled, this, [this](bool on) {
        settings->SetNormaliseLoudness(on);
        settings->Sync();
        trackShaper->SettingsChanged();
    });
    connect(skipSilenceAction, &QAction::toggled, this, [this](bool on) {
        settings->SetSkipSilence(on);
        settings->Sync();
        trackShaper->SettingsChanged();
    });
}

void MainWindow::ClearCrossFading() {
    decks->ClearCrossFading();
}

void MainWindow::ExportPlayHistory() {
    dialogs::Request request;
    request.title = tr("Export Play History");
    request.filter = QStringLiteral("*.csv");
    request.defaultSuffix = QStringLiteral("csv");
    request.fileName = QStringLiteral("play-history.csv");
    request.folderKey = QStringLiteral("history");
    dialogs::GetSaveFileName(request, this, [this](const QString& target) {
        if (target.isEmpty())
            return;
        playHistory->Export(target, [this](const QString& error) {
            if (!error.isEmpty())
                dialogs::ShowError(tr("The play history was not exported: %1").arg(error), this);
        });
    });
}

void MainWindow::startUp() {
    StartupDeckSliders();
    InstallDropHook();
    StartupDataFolders();
    setWindowTitle(QString::fromLatin1(kv::kWindowCaption));
}

// The system mixer, the level capture and the sound output take a noticeable
// time to open (a sound server to reach, PortAudio probing its devices); the
// window is shown first and they are opened on the next turn of the event
// loop. The output device opens on the audio engine's own thread.
void MainWindow::OpenSoundDevices() {
    if (mixerControls)
        return;
    // Creating it applies the master volume component's stored values.
    mixerControls = std::make_unique<MixerPanelControls>(MixerPanelWidgets{
        micMute, [this](int p) { return placeSlider(*masterLevel, p); },
        [this](int p) { return placeSlider(*micLevel, p); }, [this] { ClearCrossFading(); }});
    StartupMicrophone();
    StartupLevelCapture();
    StartupMasterVolume();
    audioEngine->OpenDevice();
}

void MainWindow::StartupMicrophone() {
    Guarded(lcApp, "microphone start-up", [this] { mixerControls->StartupMicrophone(); });
}

void MainWindow::StartupLevelCapture() {
    Guarded(lcApp, "level capture start-up", [this] {
        inputLevel = new InputLevel(inputMeter, this);
        inputLevel->StartWhenReady();
    });
}

// The sliders' writes are silent: the decks take the level the slider shows.
void MainWindow::StartupDeckSliders() {
    decks->setDeckLevel(Deck::A, placeSlider(*deckALevel, 800));
    decks->setDeckLevel(Deck::B, placeSlider(*deckBLevel, 800));
}

void MainWindow::InstallDropHook() {
    dropTarget->Install();
}

void MainWindow::StartupMasterVolume() {
    Guarded(lcApp, "master volume start-up", [this] { mixerControls->StartupMasterVolume(); });
}

void MainWindow::StartupDataFolders() {
    Guarded(lcApp, "creating the data folders",
            [this] { DataFolder = CreateDataFolders(shell::LocalAppDataFolder()); });
}

void MainWindow::onShown() {
    applyLayout();
}

void MainWindow::applyLayout() {
    LayoutInput in;
    in.windowWidth = frameGeometry().width();
    in.windowHeight = frameGeometry().height();
    in.playerbox1Height = deckABox->height();
    in.playerbox2Width = deckBBox->width();
    in.mixerboxWidth = mixerBox->width();
    in.listViewLeft = playlistView->x();
    const MusicLibraryWidgets* music = musicLibrary ? &musicLibrary->Widgets() : nullptr;
    if (music) {
        in.resultslistLeft = music->resultsList->x();
        in.morelblWidth = music->moreLabel->width();
        in.previewboxWidth = music->previewbox->width();
        in.previewboxHeight = music->previewbox->height();
    }
    const LayoutResult r = ComputeLayout(in);

    tabs->resize(r.pageWidth, r.pageHeight);
    playlistView->resize(r.listViewWidth, playlistView->height());
    playlistView->setColumnWidth(0, r.fileColumnWidth);
    playlistView->setColumnWidth(1, r.trackColumnWidth);
    deckABox->move(r.playerbox1Left, r.playerbox1Top);
    deckBBox->move(r.playerbox2Left, r.playerbox2Top);
    mixerBox->move(r.mixerboxLeft, mixerBox->y());
    playlistView->setGeometry(playlistView->x(), r.listViewTop, playlistView->width(),
                              r.listViewHeight);
    if (music) {
        music->musicbox->resize(r.musicboxWidth, music->musicbox->height());
        music->resultsList->resize(r.resultslistWidth, music->resultsList->height());
        music->resultsList->setColumnWidth(0, r.resultsColumn0Width);
        music->moreLabel->move(r.morelblLeft, music->moreLabel->y());
        music->previewbox->move(r.previewboxLeft, r.previewboxTop);
    }
}

bool MainWindow::confirmClose() {
    if (inputLevel)
        inputLevel->StopWhenDrained();
    return true;
}

void MainWindow::tearDown() {
    if (destroyed)
        return;
    destroyed = true;
    dropTarget->Remove();
    // Exit leaves the microphone and the master volume as they were found.
    if (mixerControls)
        mixerControls->RestoreSystemMixer();
}

void MainWindow::quit() {
    if (confirmClose())
        QApplication::quit();
}

std::string MainWindow::AboutAddress() {
    return SchemePrefix() + TrimRight(settings::SiteHost()) + "/kolvadeck/";
}

// Without a program to open addresses, or when it fails (xdg-open finds no
// browser), the address is shown instead, in a box that does not hold up the
// window.
void MainWindow::showAbout() {
    Guarded(lcApp, "opening the about page", [this] {
        const std::string address = AboutAddress();
        const QString text = tr("No web browser could be opened. The address is %1")
                                 .arg(QString::fromStdString(address));
        auto* opener = new AddressOpener(this);
        opener->Start(address, [this, text] { dialogs::ShowError(text, this); });
    });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    onShown();
    if (!soundDevicesAsked) {
        soundDevicesAsked = true;
        QTimer::singleShot(0, this, [this] { OpenSoundDevices(); });
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    applyLayout();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (confirmClose())
        event->accept();
    else
        event->ignore();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == deckAArt || watched == deckBArt)) {
        const Deck deck = watched == deckAArt ? Deck::A : Deck::B;
        dialogs::RunCommand([&] { decks->playSelectedOn(deck); }, this);
        return true;
    }
    if (watched == playlistView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Enter plays the row as a double click does; Delete removes it.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            dialogs::RunCommand([this] { decks->playSelectedWithFade(); }, this);
            return true;
        }
        if (key->key() == Qt::Key_Delete) {
            dialogs::RunCommand([this] { playlist->removeSelected(); }, this);
            return true;
        }
        const QString text = key->text();
        if (text == QLatin1String("-") || text == QLatin1String("+")) {
            dialogs::RunCommand([&] { playlist->onViewKeyPress(text.front()); }, this);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
