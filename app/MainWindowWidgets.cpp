// The main window's controls with their design values: places, sizes,
// captions, colours and menus. The layout rules move most of them later.
#include "app/MainWindow.h"

#include "app/LayoutRules.h"
#include "decks/Playlist.h"
#include "mixer/InputMeterDesign.h"
#include "mixer/MixerSliders.h"
#include "platform/JpegCodec.h"
#include "platform/Version.h"
#include "platform/WinColor.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

namespace {
QFont designFont() {
    // "MS Sans Serif" at 11 pixels where installed, else the desktop's sans.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")});
    font.setPixelSize(11);
    return font;
}

QPalette designPalette(const QPalette& base) {
    QPalette palette = base;
    const QColor text = fromWinColor(wincolor::kText);
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, Qt::black);
    palette.setColor(QPalette::AlternateBase, fromWinColor(wincolor::kPanel));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    return palette;
}

QLabel* centredLabel(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(geometry);
    return label;
}

// Vertical, 0 at the top: a position p stands for the volume maximum - p.
GradientSlider* mixerSlider(QWidget* parent, const char* name, int left, int maximum) {
    GradientSlider* slider = mixer_sliders::create(parent, maximum);
    slider->setObjectName(QString::fromLatin1(name));
    slider->move(left, 30);
    return slider;
}

QPixmap deckPicture(const QString& resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(decodeJpegBytes(file.readAll()));
}
} // namespace

void MainWindow::buildWindow() {
    setWindowTitle(QString::fromLatin1(kv::kDesignCaption));
    resize(1032, 746);
    setFont(designFont());
    setPalette(designPalette(palette()));
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    tabs = new QTabWidget(central);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    tabs->setGeometry(0, 4, 1021, 683);
    playlistTab = new QWidget;
    libraryTab = new QWidget;
    broadcastTab = new QWidget;
    tabs->addTab(playlistTab, QStringLiteral("Playlist"));
    tabs->addTab(libraryTab, QStringLiteral("Music Library"));
    tabs->addTab(broadcastTab, QStringLiteral("Broadcasting"));
    // The broadcast page is built but its tab stays hidden, unless asked for.
    tabs->setTabVisible(2, qEnvironmentVariable("KOLVADECK_SHOW_BROADCASTING") == "1");
    tabs->setCurrentIndex(0);

    buildPlaylistPage();
    buildMenus();

    // No smaller than the layout rules need to keep the mixer panel off the
    // decks and room for the list below them.
    LayoutInput in;
    in.playerbox1Width = deckABox->width();
    in.playerbox1Height = deckABox->height();
    in.playerbox2Width = deckBBox->width();
    in.mixerboxWidth = mixerBox->width();
    in.listViewLeft = playlistView->x();
    const WindowSize least = minimumWindowSize(in);
    setMinimumSize(least.width, least.height);

    backgroundRefreshTimer = new QTimer(this);
    backgroundRefreshTimer->setInterval(1000);
}

void MainWindow::buildPlaylistPage() {
    buildDeck(Deck::A);
    buildDeck(Deck::B);
    buildMixerPanel();

    // The list shows the playlist's items and shares its selection.
    playlistView = new QTreeView(playlistTab);
    playlistView->setObjectName(QStringLiteral("playlistView"));
    playlistView->setGeometry(0, 398, 1013, 141);
    QItemSelectionModel* ownSelection = playlistView->selectionModel();
    playlistView->setModel(&playlist_->items());
    playlistView->setSelectionModel(&playlist_->selection());
    delete ownSelection;
    playlistView->setRootIsDecorated(false);
    playlistView->setSelectionMode(QAbstractItemView::SingleSelection);
    playlistView->setSelectionBehavior(QAbstractItemView::SelectRows);
    playlistView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    playlistView->setFrameShape(QFrame::NoFrame);
    playlistView->header()->setMinimumSectionSize(0); // "File" is kept zero wide
    playlistView->header()->setStretchLastSection(false);
    playlistView->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont bold = playlistView->font();
    bold.setBold(true);
    playlistView->setFont(bold);
}

void MainWindow::buildDeck(Deck deck) {
    const bool a = deck == Deck::A;
    auto* box = new QGroupBox(playlistTab);
    box->setObjectName(a ? QStringLiteral("playerbox1") : QStringLiteral("playerbox2"));
    box->setGeometry(a ? QRect(4, 4, 321, 385) : QRect(676, 2, 321, 385));

    auto* image = new QLabel(box);
    image->setGeometry(8, 19, 300, 350);
    image->setPixmap(
        deckPicture(a ? QStringLiteral(":/deck_a.jpg") : QStringLiteral(":/deck_b.jpg")));
    image->setCursor(Qt::PointingHandCursor);
    image->setContextMenuPolicy(Qt::CustomContextMenu);
    image->installEventFilter(this); // double click loads the deck

    // Title and time sit over the picture's top edge.
    auto* title = centredLabel(a ? QStringLiteral("- - - ") : QStringLiteral("- - -"), box,
                               QRect(8, 24, 300, 18));
    auto* time = centredLabel(a ? QStringLiteral("(A) - - -") : QStringLiteral("(B) - - -"), box,
                              QRect(8, 44, 300, 18));
    if (a) {
        deckABox = box, deckAArt = image, deckATitle = title, deckATime = time;
        // A small paint box nothing draws on: it shows nothing.
        deckAPaintBox = new QWidget(box);
        deckAPaintBox->setGeometry(296, 6, 17, 17);
    } else {
        deckBBox = box, deckBArt = image, deckBTitle = title, deckBTime = time;
        time->setContextMenuPolicy(Qt::CustomContextMenu);
    }
}

void MainWindow::buildMixerPanel() {
    mixerBox = new QFrame(playlistTab);
    mixerBox->setObjectName(QStringLiteral("mixerbox"));
    mixerBox->setGeometry(328, 4, 363, 385);
    mixerBox->setFrameShape(QFrame::NoFrame);
    mixerBox->setAutoFillBackground(true);

    centredLabel(QStringLiteral("PLAYER (A)"), mixerBox, QRect(0, 8, 70, 16));
    centredLabel(QStringLiteral("MASTER"), mixerBox, QRect(70, 8, 70, 16));
    centredLabel(QStringLiteral("PLAYER (B)"), mixerBox, QRect(293, 8, 70, 16));
    deckALevel = mixerSlider(mixerBox, "player1vol", 10, mixer_sliders::kDeckMax);
    masterLevel = mixerSlider(mixerBox, "mastervol", 80, mixer_sliders::kMasterMax);
    micLevel = mixerSlider(mixerBox, "micvol", 233, mixer_sliders::kMicMax);
    deckBLevel = mixerSlider(mixerBox, "player2vol", 303, mixer_sliders::kDeckMax);

    inputMeter = createInputMeter(mixerBox);
    inputMeter->setObjectName(QStringLiteral("vumeterleft"));
    inputMeter->move(169, 30);

    micMute = new QCheckBox(QStringLiteral("MUTE/MIC"), mixerBox);
    micMute->setObjectName(QStringLiteral("micmute"));
    micMute->setGeometry(218, 320, 90, 20);
    micMute->setChecked(true);
    // Fusion fills an unchecked box with the base colour and outlines it a
    // shade darker than the window colour: on the black panel both vanish
    // (only the focus outline showed it). The panel grey fills it and a
    // silver window colour gives it a grey outline.
    QPalette boxPalette = micMute->palette();
    boxPalette.setColor(QPalette::Base, fromWinColor(wincolor::kPanel));
    boxPalette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    micMute->setPalette(boxPalette);

    // Tab goes through the panel from left to right.
    setTabOrder(micLevel, micMute);
    setTabOrder(micMute, deckBLevel);
}

void MainWindow::buildMenus() {
    playlistMenu = menuBar()->addMenu(QStringLiteral("Playlist"));
    addTracksMenuAction = playlistMenu->addAction(QStringLiteral("Add Tracks"));
    addTracksMenuAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    playlistMenu->addSeparator();
    loadAction = playlistMenu->addAction(QStringLiteral("Load"));
    loadAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    saveAction = playlistMenu->addAction(QStringLiteral("Save"));
    saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    exportHistoryAction = playlistMenu->addAction(QStringLiteral("Export Play History..."));
    playlistMenu->addSeparator();
    playAction = playlistMenu->addAction(QStringLiteral("Play"));
    // Space plays and stops only where it types nothing: in the playlist.
    playAction->setShortcut(QKeySequence(Qt::Key_Space));
    playAction->setShortcutContext(Qt::WidgetShortcut);
    playlistView->addAction(playAction);
    findAction = playlistMenu->addAction(QStringLiteral("Search Music"));
    findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    playlistMenu->addSeparator();
    settingsMenu = playlistMenu->addMenu(QStringLiteral("Settings"));
    restorePlaylistAction = settingsMenu->addAction(QStringLiteral("Restore playlist at start"));
    restorePlaylistAction->setCheckable(true);
    playlistMenu->addSeparator();
    normaliseLoudnessAction = settingsMenu->addAction(QStringLiteral("Normalise loudness"));
    normaliseLoudnessAction->setCheckable(true);
    skipSilenceAction = settingsMenu->addAction(QStringLiteral("Skip silence at track ends"));
    skipSilenceAction->setCheckable(true);
    smartTransitionsAction = settingsMenu->addAction(QStringLiteral("Smart transitions"));
    smartTransitionsAction->setCheckable(true);
    showBroadcastingAction = settingsMenu->addAction(QStringLiteral("Show broadcasting"));
    showBroadcastingAction->setCheckable(true);
    playlistMenu->addSeparator();
    aboutAction = playlistMenu->addAction(QStringLiteral("About"));
    playlistMenu->addSeparator();
    exitAction = playlistMenu->addAction(QStringLiteral("Exit"));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    playlistContextMenu = new QMenu(this);
    addTracksAction = playlistContextMenu->addAction(QStringLiteral("Add Tracks"));
    playlistContextMenu->addSeparator();
    tagInfoAction = playlistContextMenu->addAction(QStringLiteral("ID3 Information"));
    playlistContextMenu->addSeparator();
    QMenu* play = playlistContextMenu->addMenu(QStringLiteral("Play"));
    playOnDeckAAction = play->addAction(QStringLiteral("Player (A)"));
    playOnDeckBAction = play->addAction(QStringLiteral("Player (B)"));
    playlistContextMenu->addSeparator();
    moveUpAction = playlistContextMenu->addAction(QStringLiteral("Move (-)"));
    moveDownAction = playlistContextMenu->addAction(QStringLiteral("Move (+)"));
    playlistContextMenu->addSeparator();
    removeAction = playlistContextMenu->addAction(QStringLiteral("Remove"));

    deckAContextMenu = new QMenu(this);
    stopDeckAAction = deckAContextMenu->addAction(QStringLiteral("Stop"));
    deckBContextMenu = new QMenu(this);
    stopDeckBAction = deckBContextMenu->addAction(QStringLiteral("Stop"));

    connect(playlistView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        playlistContextMenu->popup(playlistView->viewport()->mapToGlobal(at));
    });
    connect(deckAArt, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { deckAContextMenu->popup(deckAArt->mapToGlobal(at)); });
    connect(deckBArt, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { deckBContextMenu->popup(deckBArt->mapToGlobal(at)); });
    connect(deckBTime, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { deckBContextMenu->popup(deckBTime->mapToGlobal(at)); });
}
