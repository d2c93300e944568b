#pragma once

#include "search/MusicLibraryForm.h"
#include "search/SearchClient.h"
#include "search/SearchRequest.h"
#include "search/SearchResults.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

class QWidget;

inline constexpr const char* kNoMatchesRow =
    "No matches found! Please verify your search criteria!";

// The "Music Library" tab: builds its controls into the tab page, connects
// them, and carries the search commands, the query state (page and the
// one-step request history) and the result tables of the answer shown.
//
// A search runs on SearchClient's worker: a command returns at once with the
// list emptied and the wait cursor over the tab; the answer's rows, the
// no-matches rule, the normal cursor and then any connection error follow when
// it arrives (answerShown). A new command cancels the search still running,
// so only the latest request's answer is ever shown.
//
// Wiring in MainWindow: create it once after libraryTab exists,
//     musicLibrary = new MusicLibrary(libraryTab, DataFolder, this);
// (DataFolder ends in "/"), and in applyLayout apply the layout rules to
// musicLibrary->widgets().musicbox, .resultsList, .moreLabel and .previewbox.
// The controller connects its own widgets; a connection error is shown in
// the standard error box, opened without waiting for it.
class MusicLibrary : public QObject {
    Q_OBJECT
public:
    MusicLibrary(QWidget* tabSheet, std::string dataFolder, QWidget* form);

    const MusicLibraryWidgets& widgets() const { return w_; }

    // The commands.
    void find();      // "Find": track search for the text of searchBox
    void showGenre(); // top artists of the current genre
    void findSimilarTracks();
    void findSimilarArtists();
    void findSources();  // video sources of the selected track
    void openSelected(); // acts on the selected row by the current method
    void nextPage();     // next page of the current request
    void back();         // "Back": the previous request, one page lower
    void closePreview(); // closes the preview
    // "Add to Playlist" (also Enter on the list): the selected row's file,
    // when it is a catalogued local file, goes to addToPlaylistRequested.
    void addToPlaylist();

    // The one search operation: shifts the history, empties the results and
    // starts downloading the method's answer into its query file; the answer
    // is read into the list and the tables when it arrives.
    void runQuery(const std::string& method, const std::string& text = {},
                  const std::string& artist = {}, const std::string& track = {});

    int page() const { return page_; }
    const SearchRequest& currentRequest() const { return current_; }
    const SearchRequest& previousRequest() const { return previous_; }
    const SearchResults& results() const { return results_; }

    // The entry behind the selected row, when the list holds that kind.
    std::optional<MusicResult> selectedMusic() const;
    std::optional<VideoResult> selectedVideo() const;

    // True while a request's answer is awaited.
    bool searching() const;

    // Asked when a search could not connect to the service: may bring the
    // service back and call `retry` once it can be asked again (true), or
    // cannot help (false). A request is retried once; only then, or when
    // nothing could be done, is the connection error shown.
    using Reconnect = std::function<bool(std::function<void()> retry)>;
    void setReconnect(Reconnect reconnect) { reconnect_ = std::move(reconnect); }

    // Asked before every request leaves: `send` runs with an empty text when
    // the service may be asked, or with what the user is told instead (the
    // request is then not sent). Without a check every request is sent.
    using SendCheck = std::function<void(std::function<void(const QString& refusal)> send)>;
    void setSendCheck(SendCheck check) { sendCheck_ = std::move(check); }

    // The catalogued local files of the rows, in row order.
    QStringList localFilesOf(const QList<int>& rows) const;

signals:
    // Local files the user sends to the playlist (as if dropped on it).
    void addToPlaylistRequested(const QStringList& paths);

    // The latest request's answer (or its error) is now shown; after a
    // connection error this comes once the error box is open.
    void answerShown();

private:
    void connectWidgets();
    int selectedRow() const;
    void showAnswer(const SearchAnswer& answer);
    bool retryAfterReconnect();
    void send(const std::string& method, const std::string& address, const std::string& file);
    void applyNoMatchesRule();
    void applyMenuVisibility(const std::string& method);
    void preview(const VideoResult& video);

    QWidget* tab_;
    QWidget* form_;
    std::string dataFolder_;
    MusicLibraryWidgets w_;
    int page_ = 0;
    SearchRequest current_;
    SearchRequest previous_;
    SearchResults results_;
    SearchClient* client_;
    Reconnect reconnect_;
    SendCheck sendCheck_;
    QStringList musicFolders_; // where the catalogue's local files may lie
    int requestNumber_ = 0;    // of the latest request, so a stale retry is dropped
    bool retried_ = false;     // the latest request was sent again after a reconnect
};
