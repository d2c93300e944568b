#include "search/MusicLibraryForm.h"

#include "platform/PaintWidget.h"
#include "platform/WinColor.h"
#include "search/ClickLabel.h"
#include "search/ResultsList.h"
#include "search/VideoPreview.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

const char* const kGenres[33] = {
    "60's",   "70's",   "80's",  "90's",        "U.S.",     "U.K.",    "Germany",
    "France", "Italy",  "Spain", "Alternative", "Black",    "Blues",   "Country",
    "Club",   "Dance",  "Folk",  "Hardcore",    "Hardrock", "Hip Hop", "Jazz",
    "Metal",  "Oldies", "Pop",   "Pop Rock",    "Rave",     "Rap",     "Reggae",
    "R&B",    "Rock",   "Soul",  "Techno",      "Trance"};

namespace {
ClickLabel* makeLink(const char* caption, QWidget* parent, int left, int top) {
    auto* label = new ClickLabel(QString::fromLatin1(caption), parent);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    label->adjustSize();
    label->move(left, top);
    return label;
}

QTreeWidget* makeResultsList(QWidget* parent) {
    auto* list = new ResultsTree(parent);
    list->setGeometry(176, 56, 809, 569);
    list->setColumnCount(1);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::NoFrame);
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, 200);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows of local files are dragged onto the playlist.
    list->setDragEnabled(true);
    list->setDragDropMode(QAbstractItemView::DragOnly);
    list->setDefaultDropAction(Qt::CopyAction);
    paintWidget(list, wincolor::kBlack, wincolor::kText);
    return list;
}

void addPreviewBox(MusicLibraryWidgets& w) {
    w.previewbox = new QGroupBox(QStringLiteral("Preview"), w.musicbox);
    w.previewbox->setGeometry(400, 120, 347, 341);
    paintWidget(w.previewbox, wincolor::kPanel, wincolor::kText);
    w.previewPlayer = new VideoPreview(w.previewbox);
    w.previewPlayer->setGeometry(9, 32, 329, 240);
    w.closePreviewButton = new QPushButton(QStringLiteral("X"), w.previewbox);
    w.closePreviewButton->setGeometry(320, 10, 18, 18);
    w.previewbox->hide();
}

void addContextMenu(MusicLibraryWidgets& w) {
    w.resultsContextMenu = new QMenu(w.resultsList);
    w.sourcesAction = w.resultsContextMenu->addAction(QStringLiteral("Sources"));
    w.resultsContextMenu->addSeparator();
    w.similarTracksAction = w.resultsContextMenu->addAction(QStringLiteral("Similar Tracks"));
    w.resultsContextMenu->addSeparator();
    w.similarArtistsAction = w.resultsContextMenu->addAction(QStringLiteral("Similar Artists"));
    w.resultsContextMenu->addSeparator();
    w.addToPlaylistAction = w.resultsContextMenu->addAction(QStringLiteral("Add to Playlist"));
}
} // namespace

MusicLibraryWidgets buildMusicLibraryForm(QWidget* tabSheet) {
    MusicLibraryWidgets w;
    w.musicbox = new QGroupBox(tabSheet);
    w.musicbox->setGeometry(4, 4, 993, 641);
    paintWidget(w.musicbox, wincolor::kPanel, wincolor::kText);

    w.searchBox = new QLineEdit(w.musicbox);
    w.searchBox->setGeometry(16, 24, 257, 21);
    paintWidget(w.searchBox, wincolor::kText, wincolor::kBlack);
    w.findButton = new QPushButton(QStringLiteral("Find"), w.musicbox);
    w.findButton->setGeometry(280, 22, 75, 25);
    w.backLabel = makeLink("Back", w.musicbox, 372, 28);
    w.moreLabel = makeLink("More Results", w.musicbox, 900, 28);

    w.genresList = new QListWidget(w.musicbox);
    w.genresList->setGeometry(16, 56, 145, 569);
    w.genresList->setFrameShape(QFrame::NoFrame);
    paintWidget(w.genresList, wincolor::kBlack, wincolor::kText);
    for (const char* genre : kGenres)
        w.genresList->addItem(QString::fromUtf8(genre));

    w.resultsList = makeResultsList(w.musicbox);
    addContextMenu(w);
    addPreviewBox(w);
    w.previewbox->raise();
    return w;
}
