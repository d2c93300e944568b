#pragma once

#include "search/MusicLibraryForm.h"
#include "search/SearchRequest.h"
#include "search/SearchResults.h"

#include <QObject>

#include <optional>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>

class QWidget;

// A search that could not reach the service; its text is shown to the user.
struct SearchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kNoConnectionError =
    "Unable to connect to the Internet, make sure you are connected!";
inline constexpr const char* kNoAnswerFileError =
    "Database connection error! Please check your internet connection";
// The most a search answer may hold. A page of 100 results is a few tens of
// KB; a server that sends more is broken, and a well-formed 50 MB answer was
// measured to take ~850 MB and six seconds to list. A longer answer is a
// failed transfer (the connection error).
inline constexpr long long kMaxQueryAnswerBytes = 2LL << 20;
inline constexpr const char* kNoMatchesRow =
    "No matches found! Please verify your search criteria!";

// The "Music Library" tab: builds its controls into the tab page, connects
// them, and carries the search commands, the query state (page and the
// one-step request history), the loaded answer and the result tables.
//
// Wiring in TForm1: create it once after TabSheet2 exists,
//     musicLibrary = new TMusicLibrary(TabSheet2, DataFolder, this);
// (DataFolder ends in "/"), and in FormResize apply the layout rules to
// musicLibrary->Widgets().musicbox, .resultslist, .morelbl and .previewbox.
// The controller connects its own widgets; errors that leave a command are
// shown in the standard error box.
class TMusicLibrary : public QObject {
    Q_OBJECT
public:
    TMusicLibrary(QWidget* tabSheet, std::string dataFolder, QWidget* form);

    const MusicLibraryWidgets& Widgets() const { return w_; }

    // The commands. Each may throw SearchError (from RunQuery).
    void Button4Click();    // "Find": track search for the text of qedit
    void genres_boxClick(); // top artists of the current genre
    void SimilarTracksmenuClick();
    void SimilarArtistsmenuClick();
    void sourcesmenuClick();    // video sources of the selected track
    void resultslistDblClick(); // acts on the selected row by the current method
    void morelblClick();        // next page of the current request
    void Label12Click();        // "Back": the previous request, one page lower
    void Button7Click();        // closes the preview

    // The one search operation: downloads the method's answer into its query
    // file, reads it into the list and the tables. Throws SearchError when the
    // service cannot be reached; the list then shows the no-matches row.
    void RunQuery(const std::string& method, const std::string& text = {},
                  const std::string& artist = {}, const std::string& track = {});

    int Page() const { return page_; }
    const SearchRequest& CurrentRequest() const { return current_; }
    const SearchRequest& PreviousRequest() const { return previous_; }
    const SearchResults& Results() const { return results_; }

    // The entry behind the selected row, when the list holds that kind.
    std::optional<MusicResult> SelectedMusic() const;
    std::optional<VideoResult> SelectedVideo() const;

private:
    void Connect();
    int SelectedRow() const;
    void ReadQueryFile(const std::string& file);
    void ApplyNoMatchesRule();
    void ApplyMenuVisibility(const std::string& method);
    void Preview(const VideoResult& video);

    QWidget* form_;
    std::string dataFolder_;
    MusicLibraryWidgets w_;
    int page_ = 0;
    SearchRequest current_;
    SearchRequest previous_;
    pugi::xml_document xmlDoc_;
    SearchResults results_;
};
