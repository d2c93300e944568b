#include "search/MusicLibrary.h"

#include "platform/Dialogs.h"
#include "platform/Settings.h"
#include "search/ClickLabel.h"
#include "search/LocalTracks.h"
#include "search/MenuVisibility.h"
#include "search/ResultsList.h"
#include "search/SearchAddress.h"
#include "search/VideoPreview.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace {
std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}
} // namespace

MusicLibrary::MusicLibrary(QWidget* tabSheet, std::string dataFolder, QWidget* form)
    : QObject(tabSheet)
    , tab_(tabSheet)
    , form_(form)
    , dataFolder_(std::move(dataFolder))
    , w_(buildMusicLibraryForm(tabSheet))
    , client_(new SearchClient(this))
    , musicFolders_(cataloguedMusicFolders()) {
    connectWidgets();
    connect(client_, &SearchClient::answered, this, &MusicLibrary::showAnswer);
}

void MusicLibrary::connectWidgets() {
    // Each command runs like a framework handler: an error that leaves it is
    // shown in the standard error box.
    const auto command = [this](void (MusicLibrary::*handler)()) {
        return [this, handler] { dialogs::runCommand([&] { (this->*handler)(); }, form_); };
    };
    connect(w_.findButton, &QPushButton::clicked, this, command(&MusicLibrary::find));
    connect(w_.searchBox, &QLineEdit::returnPressed, this, command(&MusicLibrary::find));
    connect(w_.genresList, &QListWidget::itemClicked, this, command(&MusicLibrary::showGenre));
    connect(w_.similarTracksAction, &QAction::triggered, this,
            command(&MusicLibrary::findSimilarTracks));
    connect(w_.similarArtistsAction, &QAction::triggered, this,
            command(&MusicLibrary::findSimilarArtists));
    connect(w_.sourcesAction, &QAction::triggered, this, command(&MusicLibrary::findSources));
    connect(w_.resultsList, &QTreeWidget::itemDoubleClicked, this,
            command(&MusicLibrary::openSelected));
    connect(w_.moreLabel, &ClickLabel::clicked, this, command(&MusicLibrary::nextPage));
    connect(w_.backLabel, &ClickLabel::clicked, this, command(&MusicLibrary::back));
    connect(w_.closePreviewButton, &QPushButton::clicked, this,
            command(&MusicLibrary::closePreview));
    connect(w_.addToPlaylistAction, &QAction::triggered, this,
            command(&MusicLibrary::addToPlaylist));
    connect(w_.resultsList, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                const int row = selectedRow();
                w_.addToPlaylistAction->setVisible(row >= 0 && !localFilesOf({row}).isEmpty());
                w_.resultsContextMenu->popup(w_.resultsList->viewport()->mapToGlobal(at));
            });
    if (auto* tree = qobject_cast<ResultsTree*>(w_.resultsList)) {
        connect(tree, &ResultsTree::enterPressed, this, command(&MusicLibrary::addToPlaylist));
        tree->setDragUrls([this](const QList<QTreeWidgetItem*>& items) {
            QList<int> rows;
            for (QTreeWidgetItem* item : items)
                rows << w_.resultsList->indexOfTopLevelItem(item);
            std::sort(rows.begin(), rows.end());
            QList<QUrl> urls;
            for (const QString& file : localFilesOf(rows))
                urls << QUrl::fromLocalFile(file);
            return urls;
        });
    }
}

QStringList MusicLibrary::localFilesOf(const QList<int>& rows) const {
    QStringList files;
    for (const int row : rows) {
        if (row < 0 || static_cast<size_t>(row) >= results_.music.size())
            continue;
        const QString file =
            cataloguedFile(results_.music[static_cast<size_t>(row)].file, musicFolders_);
        if (!file.isEmpty())
            files << file;
    }
    return files;
}

void MusicLibrary::addToPlaylist() {
    const QStringList files = localFilesOf({selectedRow()});
    if (!files.isEmpty())
        emit addToPlaylistRequested(files);
}

void MusicLibrary::find() {
    page_ = 1;
    runQuery(methods::kTrackSearch, utf8(w_.searchBox->text()));
}

void MusicLibrary::showGenre() {
    const QListWidgetItem* genre = w_.genresList->currentItem();
    if (!genre)
        return;
    page_ = 1;
    runQuery(methods::kTagGetTopArtists, utf8(genre->text()));
}

void MusicLibrary::findSimilarTracks() {
    if (const auto music = selectedMusic()) {
        page_ = 1;
        runQuery(methods::kTrackGetSimilar, {}, music->artist, music->track);
    }
}

void MusicLibrary::findSimilarArtists() {
    if (const auto music = selectedMusic()) {
        page_ = 1;
        runQuery(methods::kArtistGetSimilar, {}, music->artist);
    }
}

void MusicLibrary::findSources() {
    if (const auto music = selectedMusic()) {
        page_ = 1;
        runQuery(methods::kYoutubeSources, music->artist + " " + music->track);
    }
}

void MusicLibrary::openSelected() {
    const std::string& method = current_.method;
    if (method == methods::kTrackSearch || method == methods::kTrackGetSimilar) {
        findSources();
    } else if (method == methods::kTagGetTopArtists || method == methods::kArtistGetSimilar) {
        if (const auto music = selectedMusic()) {
            page_ = 1;
            runQuery(methods::kTrackSearch, music->artist);
        }
    } else if (method == methods::kYoutubeSources) {
        if (const auto video = selectedVideo())
            preview(*video);
    }
}

void MusicLibrary::preview(const VideoResult& video) {
    w_.previewPlayer->setFlashVars(
        QStringLiteral("&hl=en&fs=1&autoplay=1&playerMode=embedded&allowFullScreen=true"));
    w_.previewPlayer->loadMovie(0, QString::fromStdString(video.playerAddress));
    w_.previewbox->show();
    w_.previewbox->raise();
}

void MusicLibrary::nextPage() {
    ++page_;
    const SearchRequest request = current_;
    runQuery(request.method, request.text, request.artist, request.track);
}

void MusicLibrary::back() {
    if (page_ > 1)
        --page_;
    const SearchRequest request = previous_;
    runQuery(request.method, request.text, request.artist, request.track);
}

void MusicLibrary::closePreview() {
    w_.previewPlayer->stop();
    w_.previewbox->hide();
}

void MusicLibrary::runQuery(const std::string& method, const std::string& text,
                            const std::string& artist, const std::string& track) {
    previous_ = current_;
    current_ = {method, text, artist, track};
    results_.clear();
    w_.resultsList->clear();
    applyMenuVisibility(method);
    const std::string address =
        escapeFragmentMarks(searchAddress(current_, page_, settings::searchHost()));
    const std::string file = queryFilePath(dataFolder_, method);

    // Over the tab only: the rest of the window stays as usable as before.
    tab_->setCursor(Qt::WaitCursor);
    ++requestNumber_;
    retried_ = false;
    send(method, address, file);
}

// Sends the latest request once the check (who holds the service's port)
// allows it; a refusal is shown as the request's error, and nothing leaves.
void MusicLibrary::send(const std::string& method, const std::string& address,
                        const std::string& file) {
    if (!sendCheck_) {
        client_->start(method, address, file);
        return;
    }
    const int request = requestNumber_;
    sendCheck_([this, self = QPointer<MusicLibrary>(this), request, method, address,
                file](const QString& refusal) {
        if (!self || request != requestNumber_)
            return;
        if (refusal.isEmpty()) {
            client_->start(method, address, file);
            return;
        }
        SearchAnswer refused;
        refused.error = refusal.toStdString();
        showAnswer(refused);
    });
}

// The latest request could not connect: when the service can be brought
// back, the request is sent again once it answers, and the wait goes on.
bool MusicLibrary::retryAfterReconnect() {
    if (!reconnect_ || retried_)
        return false;
    retried_ = true;
    const int request = requestNumber_;
    const SearchRequest current = current_;
    const std::string address =
        escapeFragmentMarks(searchAddress(current, page_, settings::searchHost()));
    const std::string file = queryFilePath(dataFolder_, current.method);
    return reconnect_([this, self = QPointer<MusicLibrary>(this), request, current, address, file] {
        if (self && request == requestNumber_)
            send(current.method, address, file);
    });
}

bool MusicLibrary::searching() const {
    return client_->running();
}

void MusicLibrary::showAnswer(const SearchAnswer& answer) {
    if (answer.error == kNoConnectionError && retryAfterReconnect())
        return;
    results_ = answer.results;
    showResultRows(w_.resultsList, results_);
    applyNoMatchesRule();
    tab_->unsetCursor();
    if (!answer.error.empty())
        dialogs::showError(QString::fromStdString(answer.error), form_);
    emit answerShown();
}

// An empty list, or one holding only the empty row of an answer without
// matches, shows the no-matches row. A single real result stays visible. The
// tables are emptied with it, so that no command acts on an entry the user
// cannot see.
void MusicLibrary::applyNoMatchesRule() {
    const auto& captions = results_.captions;
    if (captions.size() > 1 || (captions.size() == 1 && !captions.front().empty()))
        return;
    results_.clear();
    w_.resultsList->clear();
    w_.resultsList->addTopLevelItem(new QTreeWidgetItem(QStringList{kNoMatchesRow}));
}

void MusicLibrary::applyMenuVisibility(const std::string& method) {
    if (const auto visible = menuVisibilityFor(method)) {
        w_.sourcesAction->setVisible(visible->sources);
        w_.similarTracksAction->setVisible(visible->similarTracks);
        w_.similarArtistsAction->setVisible(visible->similarArtists);
    }
}

int MusicLibrary::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = w_.resultsList->selectedItems();
    return selected.isEmpty() ? -1 : w_.resultsList->indexOfTopLevelItem(selected.front());
}

std::optional<MusicResult> MusicLibrary::selectedMusic() const {
    const int row = selectedRow();
    if (row < 0 || static_cast<size_t>(row) >= results_.music.size())
        return std::nullopt;
    return results_.music[static_cast<size_t>(row)];
}

std::optional<VideoResult> MusicLibrary::selectedVideo() const {
    const int row = selectedRow();
    if (row < 0 || static_cast<size_t>(row) >= results_.video.size())
        return std::nullopt;
    return results_.video[static_cast<size_t>(row)];
}
