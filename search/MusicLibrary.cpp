#include "search/MusicLibrary.h"

#include "platform/Dialogs.h"
#include "platform/Settings.h"
#include "search/ClickLabel.h"
#include "search/MenuVisibility.h"
#include "search/ResultsList.h"
#include "search/SearchAddress.h"
#include "search/ShockwaveEx.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

namespace {
std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}
} // namespace

TMusicLibrary::TMusicLibrary(QWidget* tabSheet, std::string dataFolder, QWidget* form)
    : QObject(tabSheet)
    , tab_(tabSheet)
    , form_(form)
    , dataFolder_(std::move(dataFolder))
    , w_(BuildMusicLibraryForm(tabSheet))
    , client_(new SearchClient(this)) {
    Connect();
    connect(client_, &SearchClient::answered, this, &TMusicLibrary::ShowAnswer);
}

void TMusicLibrary::Connect() {
    // Each command runs like a framework handler: an error that leaves it is
    // shown in the standard error box.
    const auto command = [this](void (TMusicLibrary::*handler)()) {
        return [this, handler] { dialogs::RunCommand([&] { (this->*handler)(); }, form_); };
    };
    connect(w_.Button4, &QPushButton::clicked, this, command(&TMusicLibrary::Button4Click));
    connect(w_.qedit, &QLineEdit::returnPressed, this, command(&TMusicLibrary::Button4Click));
    connect(w_.genres_box, &QListWidget::itemClicked, this,
            command(&TMusicLibrary::genres_boxClick));
    connect(w_.SimilarTracksmenu, &QAction::triggered, this,
            command(&TMusicLibrary::SimilarTracksmenuClick));
    connect(w_.SimilarArtistsmenu, &QAction::triggered, this,
            command(&TMusicLibrary::SimilarArtistsmenuClick));
    connect(w_.sourcesmenu, &QAction::triggered, this, command(&TMusicLibrary::sourcesmenuClick));
    connect(w_.resultslist, &QTreeWidget::itemDoubleClicked, this,
            command(&TMusicLibrary::resultslistDblClick));
    connect(w_.morelbl, &ClickLabel::clicked, this, command(&TMusicLibrary::morelblClick));
    connect(w_.Label12, &ClickLabel::clicked, this, command(&TMusicLibrary::Label12Click));
    connect(w_.Button7, &QPushButton::clicked, this, command(&TMusicLibrary::Button7Click));
    connect(w_.resultslist, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                w_.PopupMenu4->popup(w_.resultslist->viewport()->mapToGlobal(at));
            });
}

void TMusicLibrary::Button4Click() {
    page_ = 1;
    RunQuery(methods::kTrackSearch, Utf8(w_.qedit->text()));
}

void TMusicLibrary::genres_boxClick() {
    const QListWidgetItem* genre = w_.genres_box->currentItem();
    if (!genre)
        return;
    page_ = 1;
    RunQuery(methods::kTagGetTopArtists, Utf8(genre->text()));
}

void TMusicLibrary::SimilarTracksmenuClick() {
    if (const auto music = SelectedMusic()) {
        page_ = 1;
        RunQuery(methods::kTrackGetSimilar, {}, music->artist, music->track);
    }
}

void TMusicLibrary::SimilarArtistsmenuClick() {
    if (const auto music = SelectedMusic()) {
        page_ = 1;
        RunQuery(methods::kArtistGetSimilar, {}, music->artist);
    }
}

void TMusicLibrary::sourcesmenuClick() {
    if (const auto music = SelectedMusic()) {
        page_ = 1;
        RunQuery(methods::kYoutubeSources, music->artist + " " + music->track);
    }
}

void TMusicLibrary::resultslistDblClick() {
    const std::string& method = current_.method;
    if (method == methods::kTrackSearch || method == methods::kTrackGetSimilar) {
        sourcesmenuClick();
    } else if (method == methods::kTagGetTopArtists || method == methods::kArtistGetSimilar) {
        if (const auto music = SelectedMusic()) {
            page_ = 1;
            RunQuery(methods::kTrackSearch, music->artist);
        }
    } else if (method == methods::kYoutubeSources) {
        if (const auto video = SelectedVideo())
            Preview(*video);
    }
}

void TMusicLibrary::Preview(const VideoResult& video) {
    w_.flash1->SetFlashVars(
        QStringLiteral("&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true"));
    w_.flash1->LoadMovie(0, QString::fromStdString(video.playerAddress));
    w_.previewbox->show();
    w_.previewbox->raise();
}

void TMusicLibrary::morelblClick() {
    ++page_;
    const SearchRequest request = current_;
    RunQuery(request.method, request.text, request.artist, request.track);
}

void TMusicLibrary::Label12Click() {
    if (page_ > 1)
        --page_;
    const SearchRequest request = previous_;
    RunQuery(request.method, request.text, request.artist, request.track);
}

void TMusicLibrary::Button7Click() {
    w_.flash1->Stop();
    w_.previewbox->hide();
}

void TMusicLibrary::RunQuery(const std::string& method, const std::string& text,
                             const std::string& artist, const std::string& track) {
    previous_ = current_;
    current_ = {method, text, artist, track};
    results_.Clear();
    w_.resultslist->clear();
    ApplyMenuVisibility(method);
    const std::string address =
        EscapeFragmentMarks(SearchAddress(current_, page_, settings::SearchHost()));
    const std::string file = QueryFilePath(dataFolder_, method);

    // Over the tab only: the rest of the window stays as usable as before.
    tab_->setCursor(Qt::WaitCursor);
    ++requestNumber_;
    retried_ = false;
    client_->Start(method, address, file);
}

// The latest request could not connect: when the service can be brought
// back, the request is sent again once it answers, and the wait goes on.
bool TMusicLibrary::RetryAfterReconnect() {
    if (!reconnect_ || retried_)
        return false;
    retried_ = true;
    const int request = requestNumber_;
    const SearchRequest current = current_;
    const std::string address =
        EscapeFragmentMarks(SearchAddress(current, page_, settings::SearchHost()));
    const std::string file = QueryFilePath(dataFolder_, current.method);
    return reconnect_(
        [this, self = QPointer<TMusicLibrary>(this), request, current, address, file] {
            if (self && request == requestNumber_)
                client_->Start(current.method, address, file);
        });
}

bool TMusicLibrary::Searching() const {
    return client_->Running();
}

void TMusicLibrary::ShowAnswer(const SearchAnswer& answer) {
    if (answer.error == kNoConnectionError && RetryAfterReconnect())
        return;
    results_ = answer.results;
    ShowResultRows(w_.resultslist, results_);
    ApplyNoMatchesRule();
    tab_->unsetCursor();
    if (!answer.error.empty())
        dialogs::OpenError(QString::fromStdString(answer.error), form_);
    emit answerShown();
}

// An empty list, or one holding only the empty row of an answer without
// matches, shows the no-matches row. A single real result stays visible. The
// tables are emptied with it, so that no command acts on an entry the user
// cannot see.
void TMusicLibrary::ApplyNoMatchesRule() {
    const auto& captions = results_.captions;
    if (captions.size() > 1 || (captions.size() == 1 && !captions.front().empty()))
        return;
    results_.Clear();
    w_.resultslist->clear();
    w_.resultslist->addTopLevelItem(new QTreeWidgetItem(QStringList{kNoMatchesRow}));
}

void TMusicLibrary::ApplyMenuVisibility(const std::string& method) {
    if (const auto visible = MenuVisibilityFor(method)) {
        w_.sourcesmenu->setVisible(visible->sources);
        w_.SimilarTracksmenu->setVisible(visible->similarTracks);
        w_.SimilarArtistsmenu->setVisible(visible->similarArtists);
    }
}

int TMusicLibrary::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = w_.resultslist->selectedItems();
    return selected.isEmpty() ? -1 : w_.resultslist->indexOfTopLevelItem(selected.front());
}

std::optional<MusicResult> TMusicLibrary::SelectedMusic() const {
    const int row = SelectedRow();
    if (row < 0 || static_cast<size_t>(row) >= results_.music.size())
        return std::nullopt;
    return results_.music[static_cast<size_t>(row)];
}

std::optional<VideoResult> TMusicLibrary::SelectedVideo() const {
    const int row = SelectedRow();
    if (row < 0 || static_cast<size_t>(row) >= results_.video.size())
        return std::nullopt;
    return results_.video[static_cast<size_t>(row)];
}
