// The player's own "Music Library" tab, through its real search client,
// against the real kolvadeck-catalog serving a generated collection.
#include "CatalogProcess.h"
#include "Collection.h"
#include "RawHttp.h"
#include "platform/Dialogs.h"
#include "search/MusicLibrary.h"
#include "search/VideoPreview.h"
#include "tests/search/AwaitAnswer.h"
#include "tests/support/TestApp.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::string>;

class MusicLibraryEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureTestApp();
        const Collection& collection = sharedCollection();
        data_ = fs::path(testing::TempDir()) / ("catalog_e2e_" + std::to_string(getpid()));
        fs::remove_all(data_);
        fs::create_directories(data_ / "queries");
        server_ = new CatalogProcess;
        if (!server_->start((data_ / "catalog.sqlite").string(), collection.music.string(),
                            collection.videos.string()))
            server_->stop();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        fs::remove_all(data_);
    }

    void SetUp() override {
        ASSERT_GT(server_->port(), 0) << "kolvadeck-catalog did not start";
        setenv("KOLVADECK_SEARCH_HOST", server_->host().c_str(), 1);
        dialogs::setHandler([this](const dialogs::Request& request, const dialogs::Reply& reply) {
            shown_.push_back(request.text.toStdString());
            reply(dialogs::Answer{true, {}});
        });
        page_ = std::make_unique<QWidget>();
        page_->resize(1013, 655);
        library_ = new MusicLibrary(page_.get(), data_.string() + "/", page_.get());
    }
    void TearDown() override {
        page_.reset();
        dialogs::setHandler({});
        unsetenv("KOLVADECK_SEARCH_HOST");
        EXPECT_TRUE(shown_.empty()) << shown_.front();
    }

    Rows listRows() const {
        Rows rows;
        QTreeWidget* list = library_->widgets().resultsList;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.push_back(list->topLevelItem(i)->text(0).toStdString());
        return rows;
    }
    void selectRow(const std::string& caption) {
        QTreeWidget* list = library_->widgets().resultsList;
        list->clearSelection();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0).toStdString() == caption) {
                list->topLevelItem(i)->setSelected(true);
                list->setCurrentItem(list->topLevelItem(i));
                return;
            }
        FAIL() << "no row " << caption;
    }
    void find(const std::string& text) {
        library_->widgets().searchBox->setText(QString::fromStdString(text));
        ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->find(); }));
    }
    void clickGenre(const std::string& genre) {
        QListWidget* box = library_->widgets().genresList;
        const auto items = box->findItems(QString::fromStdString(genre), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << genre;
        box->setCurrentItem(items.front());
        ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->showGenre(); }));
    }

    static inline CatalogProcess* server_ = nullptr;
    static inline fs::path data_;
    std::unique_ptr<QWidget> page_;
    MusicLibrary* library_ = nullptr;
    std::vector<std::string> shown_;
};

TEST_F(MusicLibraryEndToEnd, FindsTracksByNameFromID3v2ID3v1AndFileNames) {
    find("prince");
    EXPECT_EQ(listRows(), (Rows{"Prince - Kiss", "Prince - When Doves Cry"}));
    find("Wanna Whitney"); // ID3v1 only; words in any order
    ASSERT_EQ(library_->results().music.size(), 1u);
    EXPECT_EQ(library_->results().music[0].track, "I Wanna Dance");
    find("doors madly"); // no tags: "Artist - Title" file name
    ASSERT_EQ(library_->results().music.size(), 1u);
    EXPECT_EQ(library_->results().music[0].artist, "The Doors");
    EXPECT_EQ(library_->results().music[0].track, "Love Her Madly");
    find("evil"); // markup in the names, control characters dropped
    ASSERT_EQ(library_->results().music.size(), 1u);
    EXPECT_EQ(library_->results().music[0].artist, "Evil <Band> & \"Co\" 'x'");
    EXPECT_EQ(library_->results().music[0].track, "Bad Song");
    find("prince nirvana");
    EXPECT_EQ(listRows(), (Rows{kNoMatchesRow}));
}

TEST_F(MusicLibraryEndToEnd, ListsArtistsOfAGenreOrADecade) {
    clickGenre("R&B"); // arrives split at its "&"
    EXPECT_EQ(listRows(), (Rows{"Prince", "Whitney Houston"}));
    clickGenre("Hip Hop"); // tagged "Hip-Hop"
    EXPECT_EQ(listRows(), (Rows{"Public Enemy", "Run-DMC"}));
    clickGenre("80's");
    EXPECT_EQ(listRows(), (Rows{"Prince", "Public Enemy", "Run-DMC", "Whitney Houston"}));
    clickGenre("90's");
    EXPECT_EQ(listRows(), (Rows{"Evil <Band> & \"Co\" 'x'", "Nirvana"}));
    clickGenre("Rock"); // Run-DMC's second genre value
    EXPECT_EQ(listRows(), (Rows{"Evil <Band> & \"Co\" 'x'", "Nirvana", "Run-DMC"}));
    clickGenre("Techno");
    EXPECT_EQ(listRows(), (Rows{kNoMatchesRow}));
}

TEST_F(MusicLibraryEndToEnd, SimilarTracksAndArtists) {
    find("prince");
    selectRow("Prince - Kiss");
    ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->findSimilarTracks(); }));
    EXPECT_EQ(listRows(), (Rows{"Prince - When Doves Cry", "Whitney Houston - I Wanna Dance",
                                "Public Enemy - Fight the Power", "Run-DMC - Walk This Way"}));
    clickGenre("R&B");
    selectRow("Prince");
    ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->findSimilarArtists(); }));
    EXPECT_EQ(listRows(), (Rows{"Whitney Houston", "Public Enemy", "Run-DMC"}));
    // A double click on an artist searches its tracks.
    selectRow("Whitney Houston");
    ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->openSelected(); }));
    EXPECT_EQ(library_->currentRequest().method, "track.search");
    EXPECT_EQ(library_->currentRequest().text, "Whitney Houston");
    ASSERT_EQ(library_->results().music.size(), 1u);
}

TEST_F(MusicLibraryEndToEnd, VideoSourcesPreviewStreamAndDownload) {
    find("prince");
    selectRow("Prince - Kiss");
    // the track's video sources
    ASSERT_TRUE(awaitAnswer(*library_, [this] { library_->openSelected(); }));
    EXPECT_EQ(library_->currentRequest().method, "youtube.sources");
    EXPECT_EQ(listRows(), (Rows{"Prince - Kiss (live)", "Prince - Kiss (video)"}));
    ASSERT_EQ(library_->results().video.size(), 2u);
    const VideoResult video = library_->results().video[0];
    EXPECT_FALSE(video.mobileAddress.empty());

    selectRow("Prince - Kiss (live)");
    library_->openSelected(); // the preview
    EXPECT_FALSE(library_->widgets().previewbox->isHidden());
    EXPECT_EQ(library_->widgets().previewPlayer->source(),
              QUrl(QString::fromStdString(video.playerAddress)));

    // Both stream addresses answer byte ranges, as players ask for them.
    const std::string original = (sharedCollection().videos / "Prince - Kiss (live).mp4").string();
    const auto size = fs::file_size(original);
    for (const std::string& address : {video.playerAddress, video.mobileAddress}) {
        const QUrl url(QString::fromStdString(address));
        const std::string target = url.path(QUrl::FullyEncoded).toStdString() + "?" +
                                   url.query(QUrl::FullyEncoded).toStdString();
        const RawAnswer part = rawGet(server_->port(), target, "Range: bytes=0-99\r\n");
        EXPECT_EQ(part.status, 206) << address;
        EXPECT_EQ(part.body.size(), 100u);
        EXPECT_NE(part.headers.find("Content-Range: bytes 0-99/" + std::to_string(size)),
                  std::string::npos);
    }

    // The page address is what the downloader is given: it fetches the file whole.
    const fs::path downloaded = data_ / "downloaded.mp4";
    fs::remove(downloaded);
    ASSERT_TRUE(runCommand("yt-dlp --no-config --no-progress -q -o '" + downloaded.string() +
                           "' '" + video.pageAddress + "'"));
    ASSERT_TRUE(fs::exists(downloaded));
    std::ifstream a(original, std::ios::binary), b(downloaded, std::ios::binary);
    EXPECT_TRUE(
        std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
}

} // namespace
