#include "search/MusicLibraryForm.h"

#include "platform/PaintWidget.h"
#include "platform/WinColor.h"
#include "search/ClickLabel.h"
#include "search/ShockwaveEx.h"

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
ClickLabel* MakeLink(const char* caption, QWidget* parent, int left, int top) {
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

QTreeWidget* MakeResultsList(QWidget* parent) {
    auto* list = new QTreeWidget(parent);
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
    PaintWidget(list, wincolor::kBlack, wincolor::kText);
    return list;
}

void AddPreviewBox(MusicLibraryWidgets& w) {
    w.previewbox = new QGroupBox(QStringLiteral("Preview"), w.musicbox);
    w.previewbox->setGeometry(400, 120, 347, 341);
    PaintWidget(w.previewbox, wincolor::kPanel, wincolor::kText);
    w.flash1 = new TShockwaveFlashEx(w.previewbox);
    w.flash1->setGeometry(9, 32, 329, 240);
    w.Button7 = new QPushButton(QStringLiteral("X"), w.previewbox);
    w.Button7->setGeometry(320, 10, 18, 18);
    w.previewbox->hide();
}

void AddContextMenu(MusicLibraryWidgets& w) {
    w.PopupMenu4 = new QMenu(w.resultslist);
    w.sourcesmenu = w.PopupMenu4->addAction(QStringLiteral("Sources"));
    w.PopupMenu4->addSeparator();
    w.SimilarTracksmenu = w.PopupMenu4->addAction(QStringLiteral("Similar Tracks"));
    w.PopupMenu4->addSeparator();
    w.SimilarArtistsmenu = w.PopupMenu4->addAction(QStringLiteral("Similar Artists"));
}
} // namespace

MusicLibraryWidgets BuildMusicLibraryForm(QWidget* tabSheet) {
    MusicLibraryWidgets w;
    w.musicbox = new QGroupBox(tabSheet);
    w.musicbox->setGeometry(4, 4, 993, 641);
    PaintWidget(w.musicbox, wincolor::kPanel, wincolor::kText);

    w.qedit = new QLineEdit(w.musicbox);
    w.qedit->setGeometry(16, 24, 257, 21);
    PaintWidget(w.qedit, wincolor::kText, wincolor::kBlack);
    w.Button4 = new QPushButton(QStringLiteral("Find"), w.musicbox);
    w.Button4->setGeometry(280, 22, 75, 25);
    w.Label12 = MakeLink("Back", w.musicbox, 372, 28);
    w.morelbl = MakeLink("More Results", w.musicbox, 900, 28);

    w.genres_box = new QListWidget(w.musicbox);
    w.genres_box->setGeometry(16, 56, 145, 569);
    w.genres_box->setFrameShape(QFrame::NoFrame);
    PaintWidget(w.genres_box, wincolor::kBlack, wincolor::kText);
    for (const char* genre : kGenres)
        w.genres_box->addItem(QString::fromUtf8(genre));

    w.resultslist = MakeResultsList(w.musicbox);
    AddContextMenu(w);
    AddPreviewBox(w);
    w.previewbox->raise();
    return w;
}
