// The service's HTTP side against hostile and malformed requests, byte ranges
// and paging, over plain sockets so that every byte sent is the test's.
#include "CatalogProcess.h"
#include "Collection.h"
#include "RawHttp.h"
#include "search/ResultReaders.h"
#include "search/SearchRequest.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <fstream>
#include <iterator>
#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class HttpSafety : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const Collection& collection = sharedCollection();
        data_ = fs::path(testing::TempDir()) / ("catalog_http_" + std::to_string(getpid()));
        fs::remove_all(data_);
        fs::create_directories(data_);
        server_ = new CatalogProcess;
        server_->start((data_ / "catalog.sqlite").string(), collection.music.string(),
                       collection.videos.string());
    }
    static void TearDownTestSuite() {
        delete server_;
        fs::remove_all(data_);
    }
    void SetUp() override { ASSERT_GT(server_->port(), 0) << "kolvadeck-catalog did not start"; }
    void TearDown() override {
        // Whatever was sent, the service is still there and answering.
        EXPECT_EQ(get("/api/music/?method=track.search&limit=100&track=kiss&page=1").status, 200);
    }

    static RawAnswer get(const std::string& target, const std::string& headers = {}) {
        return rawGet(server_->port(), target, headers);
    }

    static SearchResults read(const std::string& method, const std::string& body) {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_string(body.c_str())) << body;
        SearchResults results;
        readAnswer(method, document, results);
        return results;
    }

    // The /media/... target of the first video found for the words.
    static std::string mediaTarget(const std::string& words) {
        const RawAnswer feed = get("/api/video/?vq=" + words + "&max-results=50&start-index=1");
        const SearchResults results = read(methods::kYoutubeSources, feed.body);
        if (results.video.empty())
            return {};
        const std::string& page = results.video.front().pageAddress;
        return page.substr(page.find("/media/"));
    }

    static inline CatalogProcess* server_ = nullptr;
    static inline fs::path data_;
};

TEST_F(HttpSafety, NoRequestReachesAFileOutsideTheCatalogue) {
    const std::string media = mediaTarget("Nirvana");
    ASSERT_FALSE(media.empty());
    const std::string wrongExtension = std::regex_replace(media, std::regex("\\.mp4$"), ".mkv");
    for (const std::string& target :
         {std::string("/media/../../../../etc/passwd"),
          std::string("/media/..%2f..%2fetc%2fpasswd"), media + "/../../../../etc/passwd",
          std::string("/etc/passwd"), std::string("/media/%2Fetc%2Fpasswd"),
          std::string("/media/0.mp4"), std::string("/media/999999.mp4"),
          std::string("/media/-1.mp4"), wrongExtension, media + "%00.txt",
          std::string("/media/99999999999999999999.mp4"), std::string("/../../etc/passwd"),
          std::string("/media/1.mp3")}) {
        const RawAnswer answer = get(target);
        EXPECT_TRUE(answer.status == 404 || answer.status == 400) << target << " " << answer.status;
        EXPECT_EQ(answer.body.find("root:"), std::string::npos) << target;
    }
    EXPECT_EQ(get("/media/999999.mp4").status, 404);
    EXPECT_EQ(get(wrongExtension).status, 404);
    EXPECT_EQ(get(media).status, 200);
}

TEST_F(HttpSafety, VideosStreamWithByteRanges) {
    const std::string media = mediaTarget("Teen%20Spirit");
    ASSERT_FALSE(media.empty());
    std::ifstream in(sharedCollection().videos / "Nirvana - Teen Spirit.mp4", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), {});

    const RawAnswer whole = get(media);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, file);
    EXPECT_NE(whole.headers.find("Content-Type: video/mp4"), std::string::npos);

    const RawAnswer first = get(media, "Range: bytes=0-99\r\n");
    EXPECT_EQ(first.status, 206);
    EXPECT_EQ(first.body, file.substr(0, 100));

    const RawAnswer tail = get(media, "Range: bytes=-10\r\n");
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.body, file.substr(file.size() - 10));

    const RawAnswer middle = get(media, "Range: bytes=1000-1999\r\n");
    EXPECT_EQ(middle.status, 206);
    EXPECT_EQ(middle.body, file.substr(1000, 1000));

    // An end past the file is the file's end; a start past it asks for nothing.
    const RawAnswer past =
        get(media, "Range: bytes=" + std::to_string(file.size() - 5) + "-99999999\r\n");
    EXPECT_EQ(past.status, 206);
    EXPECT_EQ(past.body, file.substr(file.size() - 5));
    for (const std::string& range :
         {std::string("999999999-"), std::to_string(file.size()) + "-", std::string("-0")}) {
        const RawAnswer refused = get(media, "Range: bytes=" + range + "\r\n");
        EXPECT_EQ(refused.status, 416) << range;
        EXPECT_NE(refused.headers.find("Content-Range: bytes */" + std::to_string(file.size())),
                  std::string::npos)
            << range;
    }
}

TEST_F(HttpSafety, MalformedQueriesAreRefusedWithAWellFormedError) {
    const std::string longText(6000, 'a');
    for (const std::string& target : {
             std::string("/api/music/?method=track.search&limit=100&track=%zz&page=1"),
             std::string("/api/music/?method=track.search&limit=100&track=a%00b&page=1"),
             std::string("/api/music/?method=no.such.method&page=1"),
             std::string("/api/music/"),
             std::string("/api/music/?method=track.search&limit=100&track=x&page=abc"),
             std::string("/api/music/?method=track.search&limit=-1&track=x&page=1"),
             std::string("/api/music/?method=track.search&limit=100&track=x&page=-2"),
             "/api/music/?method=track.search&limit=100&track=" + longText + "&page=1",
             std::string("/api/video/?vq=%&max-results=50&start-index=1"),
             std::string("/api/video/?vq=x&max-results=50&start-index=0"),
         }) {
        const RawAnswer answer = get(target);
        EXPECT_EQ(answer.status, 400) << target.substr(0, 100);
        pugi::xml_document error;
        EXPECT_TRUE(error.load_string(answer.body.c_str())) << answer.body;
        EXPECT_STREQ(error.child("lfm").attribute("status").value(), "failed");
    }
    // Beyond what the server reads of a request line at all.
    const RawAnswer huge =
        get("/api/music/?method=track.search&track=" + std::string(100000, 'b') + "&page=1");
    EXPECT_TRUE(huge.status == 400 || huge.status == 414 || huge.status == 431) << huge.status;
}

TEST_F(HttpSafety, HostileNamesAndHostsStayWellFormed) {
    const RawAnswer answer = get("/api/music/?method=track.search&limit=100&track=evil&page=1");
    ASSERT_EQ(answer.status, 200);
    const SearchResults results = read(methods::kTrackSearch, answer.body);
    ASSERT_EQ(results.captions.size(), 1u);
    EXPECT_EQ(results.captions[0], "Evil <Band> & \"Co\" 'x' - Bad Song");

    // A Host header that is no host name is refused; a loopback name is served,
    // and the addresses name the service's own address whatever it said.
    EXPECT_EQ(rawGet(server_->port(), "/api/video/?vq=kiss&max-results=50&start-index=1",
                     "Host: evil\"><x a='&\r\n")
                  .status,
              421);
    const RawAnswer feed =
        rawGet(server_->port(), "/api/video/?vq=kiss&max-results=50&start-index=1",
               "Host: LocalHost:" + std::to_string(server_->port()) + "\r\n");
    ASSERT_EQ(feed.status, 200);
    const SearchResults videos = read(methods::kYoutubeSources, feed.body);
    ASSERT_EQ(videos.video.size(), 2u);
    EXPECT_EQ(videos.video[0].pageAddress.rfind(
                  "http://127.0.0.1:" + std::to_string(server_->port()) + "/media/", 0),
              0u);
}

TEST_F(HttpSafety, PagesAndLimitsAsTheRequestSays) {
    const auto artists = [](const std::string& query) {
        std::vector<std::string> names;
        for (const MusicResult& m :
             read(methods::kTagGetTopArtists, get("/api/music/?" + query).body).music)
            names.push_back(m.artist);
        return names;
    };
    EXPECT_EQ(artists("method=tag.gettopartists&limit=2&tag=80's&page=1"),
              (std::vector<std::string>{"Prince", "Public Enemy"}));
    EXPECT_EQ(artists("method=tag.gettopartists&limit=2&tag=80's&page=2"),
              (std::vector<std::string>{"Run-DMC", "Whitney Houston"}));
    EXPECT_TRUE(artists("method=tag.gettopartists&limit=2&tag=80's&page=3").empty());

    const auto titles = [](const std::string& query) {
        std::vector<std::string> names;
        for (const VideoResult& v :
             read(methods::kYoutubeSources, get("/api/video/?" + query).body).video)
            names.push_back(v.title);
        return names;
    };
    EXPECT_EQ(titles("vq=prince&max-results=1&start-index=2"),
              (std::vector<std::string>{"Prince - Kiss (video)"}));
    EXPECT_EQ(titles("vq=prince&max-results=50&start-index=51"), std::vector<std::string>{});
}

} // namespace
