// The main window's controls with their design values: places, sizes,
// captions, colours and menus. The layout rules move most of them later.
#include "app/Unit1.h"

#include "decks/Playlist.h"
#include "mixer/MixerSliders.h"
#include "mixer/VuMeterDesign.h"
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
QFont DesignFont() {
    // "MS Sans Serif" at 11 pixels where installed, else the desktop's sans.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")});
    font.setPixelSize(11);
    return font;
}

QPalette DesignPalette(const QPalette& base) {
    QPalette palette = base;
    const QColor text = FromWinColor(wincolor::kText);
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, Qt::black);
    palette.setColor(QPalette::AlternateBase, FromWinColor(wincolor::kPanel));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    return palette;
}

QLabel* CentredLabel(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(geometry);
    return label;
}

// Vertical, 0 at the top: a position p stands for the volume maximum - p.
TXiTrackBar* MixerSlider(QWidget* parent, const char* name, int left, int maximum) {
    TXiTrackBar* slider = mixer_sliders::Create(parent, maximum);
    slider->setObjectName(QString::fromLatin1(name));
    slider->move(left, 30);
    return slider;
}

QPixmap DeckPicture(const QString& resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(DecodeJpegBytes(file.readAll()));
}
} // namespace

void TForm1::BuildWindow() {
    setWindowTitle(QString::fromLatin1(kv::kDesignCaption));
    resize(1032, 746);
    setFont(DesignFont());
    setPalette(DesignPalette(palette()));
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 4, 1021, 683);
    playlistTab = new QWidget;
    libraryTab = new QWidget;
    broadcastTab = new QWidget;
    PageControl1->addTab(playlistTab, QStringLiteral("Playlist"));
    PageControl1->addTab(libraryTab, QStringLiteral("Music Library"));
    PageControl1->addTab(broadcastTab, QStringLiteral("Broadcasting"));
    // The broadcast page is built but its tab stays hidden, unless asked for.
    PageControl1->setTabVisible(2, qEnvironmentVariable("KOLVADECK_SHOW_BROADCASTING") == "1");
    PageControl1->setCurrentIndex(0);

    BuildPlaylistPage();
    BuildMenus();

    streamingupdatebackgroundtimer = new QTimer(this);
    streamingupdatebackgroundtimer->setInterval(1000);
}

void TForm1::BuildPlaylistPage() {
    BuildDeck(1);
    BuildDeck(2);
    BuildMixerPanel();

    // The list shows the playlist's items and shares its selection.
    playlistView = new QTreeView(playlistTab);
    playlistView->setObjectName(QStringLiteral("playlistView"));
    playlistView->setGeometry(0, 398, 1013, 141);
    QItemSelectionModel* ownSelection = playlistView->selectionModel();
    playlistView->setModel(&playlist->Items());
    playlistView->setSelectionModel(&playlist->Selection());
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

void TForm1::BuildDeck(int deck) {
    const bool a = deck == 1;
    auto* box = new QGroupBox(playlistTab);
    box->setObjectName(a ? QStringLiteral("playerbox1") : QStringLiteral("playerbox2"));
    box->setGeometry(a ? QRect(4, 4, 321, 385) : QRect(676, 2, 321, 385));

    auto* image = new QLabel(box);
    image->setGeometry(8, 19, 300, 350);
    image->setPixmap(
        DeckPicture(a ? QStringLiteral(":/deck_a.jpg") : QStringLiteral(":/deck_b.jpg")));
    image->setCursor(Qt::PointingHandCursor);
    image->setContextMenuPolicy(Qt::CustomContextMenu);
    image->installEventFilter(this); // double click loads the deck

    // Title and time sit over the picture's top edge.
    auto* title = CentredLabel(a ? QStringLiteral("- - - ") : QStringLiteral("- - -"), box,
                               QRect(8, 24, 300, 18));
    auto* time = CentredLabel(a ? QStringLiteral("(A) - - -") : QStringLiteral("(B) - - -"), box,
                              QRect(8, 44, 300, 18));
    if (a) {
        playerbox1 = box, Image1 = image, player1lbl = title, player1time = time;
        // A small paint box nothing draws on: it shows nothing.
        player1paintbox1 = new QWidget(box);
        player1paintbox1->setGeometry(296, 6, 17, 17);
    } else {
        playerbox2 = box, Image2 = image, player2lbl = title, player2time = time;
        time->setContextMenuPolicy(Qt::CustomContextMenu);
    }
}

void TForm1::BuildMixerPanel() {
    mixerbox = new QFrame(playlistTab);
    mixerbox->setObjectName(QStringLiteral("mixerbox"));
    mixerbox->setGeometry(328, 4, 363, 385);
    mixerbox->setFrameShape(QFrame::NoFrame);
    mixerbox->setAutoFillBackground(true);

    CentredLabel(QStringLiteral("PLAYER (A)"), mixerbox, QRect(0, 8, 70, 16));
    CentredLabel(QStringLiteral("MASTER"), mixerbox, QRect(70, 8, 70, 16));
    CentredLabel(QStringLiteral("PLAYER (B)"), mixerbox, QRect(293, 8, 70, 16));
    player1vol = MixerSlider(mixerbox, "player1vol", 10, mixer_sliders::kDeckMax);
    mastervol = MixerSlider(mixerbox, "mastervol", 80, mixer_sliders::kMasterMax);
    micvol = MixerSlider(mixerbox, "micvol", 233, mixer_sliders::kMicMax);
    player2vol = MixerSlider(mixerbox, "player2vol", 303, mixer_sliders::kDeckMax);

    vumeterleft = CreateVuMeterLeft(mixerbox);
    vumeterleft->setObjectName(QStringLiteral("vumeterleft"));
    vumeterleft->move(169, 30);

    micmute = new QCheckBox(QStringLiteral("MUTE/MIC"), mixerbox);
    micmute->setObjectName(QStringLiteral("micmute"));
    micmute->setGeometry(218, 320, 90, 20);
    micmute->setChecked(true);
}

void TForm1::BuildMenus() {
    MainMenuPlaylist = menuBar()->addMenu(QStringLiteral("Playlist"));
    AddTracks2 = MainMenuPlaylist->addAction(QStringLiteral("Add Tracks"));
    AddTracks2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    MainMenuPlaylist->addSeparator();
    Load1 = MainMenuPlaylist->addAction(QStringLiteral("Load"));
    Load1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    Save1 = MainMenuPlaylist->addAction(QStringLiteral("Save"));
    Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    MainMenuPlaylist->addSeparator();
    playAction = MainMenuPlaylist->addAction(QStringLiteral("Play"));
    // Space plays and stops only where it types nothing: in the playlist.
    playAction->setShortcut(QKeySequence(Qt::Key_Space));
    playAction->setShortcutContext(Qt::WidgetShortcut);
    playlistView->addAction(playAction);
    Find1 = MainMenuPlaylist->addAction(QStringLiteral("Search Music"));
    Find1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    MainMenuPlaylist->addSeparator();
    MainMenuSettings = MainMenuPlaylist->addMenu(QStringLiteral("Settings"));
    RestorePlaylist1 = MainMenuSettings->addAction(QStringLiteral("Restore playlist at start"));
    RestorePlaylist1->setCheckable(true);
    MainMenuPlaylist->addSeparator();
    NormaliseLoudness1 = MainMenuSettings->addAction(QStringLiteral("Normalise loudness"));
    NormaliseLoudness1->setCheckable(true);
    SkipSilence1 = MainMenuSettings->addAction(QStringLiteral("Skip silence at track ends"));
    SkipSilence1->setCheckable(true);
    MainMenuPlaylist->addSeparator();
    About1 = MainMenuPlaylist->addAction(QStringLiteral("About"));
    MainMenuPlaylist->addSeparator();
    Exit2 = MainMenuPlaylist->addAction(QStringLiteral("Exit"));
    Exit2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    PopupMenu1 = new QMenu(this);
    AddTracks1 = PopupMenu1->addAction(QStringLiteral("Add Tracks"));
    PopupMenu1->addSeparator();
    LoadPlaylist1 = PopupMenu1->addAction(QStringLiteral("ID3 Information"));
    PopupMenu1->addSeparator();
    QMenu* play = PopupMenu1->addMenu(QStringLiteral("Play"));
    PlayerA1 = play->addAction(QStringLiteral("Player (A)"));
    PlayerB1 = play->addAction(QStringLiteral("Player (B)"));
    PopupMenu1->addSeparator();
    Move1 = PopupMenu1->addAction(QStringLiteral("Move (-)"));
    Move2 = PopupMenu1->addAction(QStringLiteral("Move (+)"));
    PopupMenu1->addSeparator();
    remove1 = PopupMenu1->addAction(QStringLiteral("Remove"));

    PopupMenu2 = new QMenu(this);
    Stop1 = PopupMenu2->addAction(QStringLiteral("Stop"));
    PopupMenu3 = new QMenu(this);
    MenuItem1 = PopupMenu3->addAction(QStringLiteral("Stop"));

    connect(playlistView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(playlistView->viewport()->mapToGlobal(at));
    });
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu2->popup(Image1->mapToGlobal(at)); });
    connect(Image2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu3->popup(Image2->mapToGlobal(at)); });
    connect(player2time, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu3->popup(player2time->mapToGlobal(at)); });
}
