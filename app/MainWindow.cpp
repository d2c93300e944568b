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
void setTextColour(QLabel* label, const QColor& colour) {
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

    void start(const std::string& address, std::function<void()> failed) {
        failed_ = std::move(failed);
        const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (program.isEmpty() || ChildProcess::start(program.toStdString(), {address}, child_) != 0)
            return finish(false);
        if (child_.descriptor() < 0)
            return finish(true); // no pidfd to watch: only the start is known
        auto* ended = new QSocketNotifier(child_.descriptor(), QSocketNotifier::Read, this);
        connect(ended, &QSocketNotifier::activated, this, [this, ended] {
            ended->setEnabled(false);
            siginfo_t info{};
            const bool opened = child_.hasEnded() &&
                                ::waitid(P_PID, static_cast<id_t>(child_.pid()), &info,
                                         WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                info.si_code == CLD_EXITED && info.si_status == 0;
            child_.release();
            finish(opened);
        });
    }

private:
    void finish(bool opened) {
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

static void loadResources() {
    // The pictures are compiled into the static kv_app library.
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent) {
    loadResources();
    settings_ = std::make_unique<Settings>();
    playlist_ = std::make_unique<Playlist>(this);
    buildWindow();
    audioEngine_ = audio::createAudioEngine();
    decks_ = std::make_unique<DeckEngine>(*audioEngine_, *playlist_);
    bindDecks();
    trackShaper_ = std::make_unique<TrackShaper>(*settings_, *playlist_, *decks_);
    bindSettings();
    tagEditor_ = std::make_unique<TagEditor>(playlistTab, *playlist_);
    dropTarget_ =
        new PlaylistDropTarget(playlistView, [this](const std::vector<std::string>& paths) {
            playlist_->addDroppedFiles(paths);
        });
    connectCommands();
    startUp();
    playHistory_ = std::make_unique<PlayHistory>(
        dataFolder_.empty() ? QString() : QString::fromStdString(dataFolder_ + "play-history.csv"));
    connect(decks_.get(), &DeckEngine::trackLeft, this,
            [this](const QString& path, const QDateTime& began, int seconds) {
                playHistory_->record(began, path.toStdString(), seconds);
            });
    // The search keeps its answers in the data folder, known from start-up on.
    musicLibrary_ = new MusicLibrary(libraryTab, dataFolder_, this);
    // The library's local tracks join the playlist as dropped files do.
    connect(musicLibrary_, &MusicLibrary::addToPlaylistRequested, this,
            [this](const QStringList& paths) {
                std::vector<std::string> files;
                for (const QString& path : paths)
                    files.push_back(path.toStdString());
                playlist_->addDroppedFiles(files);
            });
    conversion_ = new ConversionPipeline(musicLibrary_, &toolState_, this);
    broadcast_ =
        new BroadcastController(broadcastTab, dataFolder_, this, toolRunnerCallbacks(toolState_));
    // The broadcast sends the decks' own mix, names each track as it starts
    // and skips a track that has gone silent.
    broadcast_->attachDecks(*audioEngine_, [this] { decks_->advanceNow(); });
    connect(decks_.get(), &DeckEngine::trackStarted, this,
            [this](Deck, int index) { broadcast_->trackStarted(playlist_->titleAt(index)); });
    startupSession();
    startupMediaControls();
}

MainWindow::~MainWindow() {
    tearDown();
    dialogs::setFolderMemory({});
    // The list view shows the playlist, which goes before the window's children.
    delete playlistView;
    // These two use toolState, a member that dies before the window's children.
    delete broadcast_;
    delete conversion_;
}

void MainWindow::connectCommands() {
    auto command = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, handler] { dialogs::runCommand(handler, this); });
    };
    command(addTracksMenuAction, [this] { playlist_->addTracks(); });
    command(addTracksAction, [this] { playlist_->addTracks(); });
    command(loadAction, [this] { loadPlaylistFile(*playlist_, this); });
    command(saveAction, [this] { savePlaylistFile(*playlist_, this); });
    command(exportHistoryAction, [this] { exportPlayHistory(); });
    command(aboutAction, [this] { showAbout(); });
    command(findAction, [this] { findMusic(); });
    command(exitAction, [this] { quit(); });
    command(tagInfoAction, [this] { tagEditor_->showForSelected(frameGeometry().width()); });
    command(moveUpAction, [this] { playlist_->moveUp(); });
    command(moveDownAction, [this] { playlist_->moveDown(); });
    command(removeAction, [this] { playlist_->removeSelected(); });
    playlistView->installEventFilter(this);

    command(playAction, [this] { decks_->playOrStop(); });
    command(playOnDeckAAction, [this] { decks_->playSelectedOn(Deck::A); });
    command(playOnDeckBAction, [this] { decks_->playSelectedOn(Deck::B); });
    command(stopDeckAAction, [this] { decks_->stopDeck(Deck::A); });
    command(stopDeckBAction, [this] { decks_->stopDeck(Deck::B); });
    connect(playlistView, &QAbstractItemView::doubleClicked, this,
            [this] { dialogs::runCommand([this] { decks_->playSelectedWithFade(); }, this); });
    connect(deckALevel, &GradientSlider::sliderMoved, this,
            [this](int position) { decks_->setDeckLevel(Deck::A, position); });
    connect(deckBLevel, &GradientSlider::sliderMoved, this,
            [this](int position) { decks_->setDeckLevel(Deck::B, position); });
    connect(masterLevel, &GradientSlider::sliderMoved, this, [this](int position) {
        if (mixerControls_)
            mixerControls_->setMasterVolume(position);
    });
    connect(micLevel, &GradientSlider::sliderMoved, this, [this](int position) {
        if (mixerControls_)
            mixerControls_->setMicVolume(position);
    });
    connect(micMute, &QCheckBox::clicked, this, [this] {
        if (mixerControls_)
            mixerControls_->applyMicMute();
    });
}

// The deck labels and the "Play" item show what the deck engine says.
void MainWindow::bindDecks() {
    auto title = [this](Deck deck) { return deck == Deck::A ? deckATitle : deckBTitle; };
    auto time = [this](Deck deck) { return deck == Deck::A ? deckATime : deckBTime; };
    connect(decks_.get(), &DeckEngine::titleChanged, this,
            [title](Deck deck, const QString& text) { title(deck)->setText(text); });
    connect(decks_.get(), &DeckEngine::timeChanged, this,
            [time](Deck deck, const QString& text) { time(deck)->setText(text); });
    connect(decks_.get(), &DeckEngine::colourChanged, this,
            [title, time](Deck deck, const QColor& colour) {
                setTextColour(title(deck), colour);
                setTextColour(time(deck), colour);
            });
    connect(decks_.get(), &DeckEngine::playCaptionChanged, playAction, &QAction::setText);
}

// The setting is read at start; the list is kept whatever it says.
void MainWindow::startupSession() {
    const QString key = QStringLiteral("session/restorePlaylist");
    restorePlaylistAction->setChecked(settings_->value(key, true).toBool());
    connect(restorePlaylistAction, &QAction::toggled, this, [this, key](bool on) {
        settings_->setValue(key, on);
        settings_->sync();
    });
    dialogs::setFolderMemory(
        {[this](const QString& kind) {
             return settings_->value(QStringLiteral("folders/") + kind).toString();
         },
         [this](const QString& kind, const QString& folder) {
             settings_->setValue(QStringLiteral("folders/") + kind, folder);
             settings_->sync();
         }});
    session_ = std::make_unique<SessionPlaylist>(*playlist_);
    if (restorePlaylistAction->isChecked())
        guarded(lcApp, "restoring the playlist", [this] { session_->restore(); });
}

void MainWindow::startupMediaControls() {
    mpris_ = MprisService::start(*decks_, *playlist_,
                                 {[this] {
                                      show();
                                      raise();
                                      activateWindow();
                                  },
                                  [this] { quit(); }});
}

void MainWindow::findMusic() {
    if (!musicLibrary_)
        return;
    tabs->setCurrentWidget(libraryTab);
    QLineEdit* box = musicLibrary_->widgets().searchBox;
    box->setFocus(Qt::ShortcutFocusReason);
    box->selectAll();
}

// The settings' menu items show the stored choices and store each change.
void MainWindow::bindSettings() {
    // The Broadcasting tab shows when asked for here or by the environment.
    const QString showKey = QStringLiteral("view/showBroadcasting");
    const bool fromEnvironment = qEnvironmentVariable("KOLVADECK_SHOW_BROADCASTING") == "1";
    showBroadcastingAction->setChecked(settings_->value(showKey, false).toBool());
    tabs->setTabVisible(2, fromEnvironment || showBroadcastingAction->isChecked());
    connect(showBroadcastingAction, &QAction::toggled, this,
            [this, showKey, fromEnvironment](bool on) {
                settings_->setValue(showKey, on);
                settings_->sync();
                tabs->setTabVisible(2, fromEnvironment || on);
            });
    normaliseLoudnessAction->setChecked(settings_->normaliseLoudness());
    skipSilenceAction->setChecked(settings_->skipSilence());
    smartTransitionsAction->setChecked(settings_->smartTransitions());
    connect(normaliseLoudnessAction, &QAction::toggled, this, [this](bool on) {
        settings_->setNormaliseLoudness(on);
        settings_->sync();
        trackShaper_->settingsChanged();
    });
    connect(skipSilenceAction, &QAction::toggled, this, [this](bool on) {
        settings_->setSkipSilence(on);
        settings_->sync();
        trackShaper_->settingsChanged();
    });
    // Reaches the next hand-over not yet cued.
    connect(smartTransitionsAction, &QAction::toggled, this, [this](bool on) {
        settings_->setSmartTransitions(on);
        settings_->sync();
    });
}

void MainWindow::clearCrossFading() {
    decks_->clearCrossFading();
}

void MainWindow::exportPlayHistory() {
    dialogs::Request request;
    request.title = tr("Export Play History");
    request.filter = QStringLiteral("*.csv");
    request.defaultSuffix = QStringLiteral("csv");
    request.fileName = QStringLiteral("play-history.csv");
    request.folderKey = QStringLiteral("history");
    dialogs::getSaveFileName(request, this, [this](const QString& target) {
        if (target.isEmpty())
            return;
        playHistory_->exportTo(target, [this](const QString& error) {
            if (!error.isEmpty())
                dialogs::showError(tr("The play history was not exported: %1").arg(error), this);
        });
    });
}

void MainWindow::startUp() {
    startupDeckSliders();
    installDropHook();
    startupDataFolders();
    setWindowTitle(QString::fromLatin1(kv::kWindowCaption));
}

// The system mixer, the level capture and the sound output take a noticeable
// time to open (a sound server to reach, PortAudio probing its devices); the
// window is shown first and they are opened on the next turn of the event
// loop. The output device opens on the audio engine's own thread.
void MainWindow::openSoundDevices() {
    if (mixerControls_)
        return;
    // Creating it applies the master volume component's stored values.
    mixerControls_ = std::make_unique<MixerPanelControls>(MixerPanelWidgets{
        micMute, [this](int p) { return placeSlider(*masterLevel, p); },
        [this](int p) { return placeSlider(*micLevel, p); }, [this] { clearCrossFading(); }});
    startupMicrophone();
    startupLevelCapture();
    startupMasterVolume();
    audioEngine_->openDevice();
}

void MainWindow::startupMicrophone() {
    guarded(lcApp, "microphone start-up", [this] { mixerControls_->startupMicrophone(); });
}

void MainWindow::startupLevelCapture() {
    guarded(lcApp, "level capture start-up", [this] {
        inputLevel_ = new InputLevel(inputMeter, this);
        inputLevel_->startWhenReady();
    });
}

// The sliders' writes are silent: the decks take the level the slider shows.
void MainWindow::startupDeckSliders() {
    decks_->setDeckLevel(Deck::A, placeSlider(*deckALevel, 800));
    decks_->setDeckLevel(Deck::B, placeSlider(*deckBLevel, 800));
}

void MainWindow::installDropHook() {
    dropTarget_->install();
}

void MainWindow::startupMasterVolume() {
    guarded(lcApp, "master volume start-up", [this] { mixerControls_->startupMasterVolume(); });
}

void MainWindow::startupDataFolders() {
    guarded(lcApp, "creating the data folders",
            [this] { dataFolder_ = createDataFolders(shell::localAppDataFolder()); });
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
    const MusicLibraryWidgets* music = musicLibrary_ ? &musicLibrary_->widgets() : nullptr;
    if (music) {
        in.resultslistLeft = music->resultsList->x();
        in.morelblWidth = music->moreLabel->width();
        in.previewboxWidth = music->previewbox->width();
        in.previewboxHeight = music->previewbox->height();
    }
    const LayoutResult r = computeLayout(in);

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
    if (inputLevel_)
        inputLevel_->stopWhenDrained();
    return true;
}

void MainWindow::tearDown() {
    if (destroyed_)
        return;
    destroyed_ = true;
    dropTarget_->remove();
    // The tracks playing at exit belong in the play history too.
    decks_->leaveTracks();
    // Exit leaves the microphone and the master volume as they were found.
    if (mixerControls_)
        mixerControls_->restoreSystemMixer();
}

void MainWindow::quit() {
    if (confirmClose())
        QApplication::quit();
}

std::string MainWindow::aboutAddress() {
    return schemePrefix() + trimRight(settings::siteHost()) + "/kolvadeck/";
}

// Without a program to open addresses, or when it fails (xdg-open finds no
// browser), the address is shown instead, in a box that does not hold up the
// window.
void MainWindow::showAbout() {
    guarded(lcApp, "opening the about page", [this] {
        const std::string address = aboutAddress();
        const QString text = tr("No web browser could be opened. The address is %1")
                                 .arg(QString::fromStdString(address));
        auto* opener = new AddressOpener(this);
        opener->start(address, [this, text] { dialogs::showError(text, this); });
    });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    onShown();
    if (!soundDevicesAsked_) {
        soundDevicesAsked_ = true;
        QTimer::singleShot(0, this, [this] { openSoundDevices(); });
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
        dialogs::runCommand([&] { decks_->playSelectedOn(deck); }, this);
        return true;
    }
    if (watched == playlistView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Enter plays the row as a double click does; Delete removes it.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            dialogs::runCommand([this] { decks_->playSelectedWithFade(); }, this);
            return true;
        }
        if (key->key() == Qt::Key_Delete) {
            dialogs::runCommand([this] { playlist_->removeSelected(); }, this);
            return true;
        }
        const QString text = key->text();
        if (text == QLatin1String("-") || text == QLatin1String("+")) {
            dialogs::runCommand([&] { playlist_->onViewKeyPress(text.front()); }, this);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
