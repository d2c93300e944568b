// A search service that fails in the middle of an answer, or answers with far
// too much garbage: the search ends with the connection error, the too-large
// error or the no-matches row, the program's memory stays bounded, nothing
// crashes.
#include "platform/LoadableModule.h"
#include "tests/faults/GarbageBytes.h"
#include "tests/search/MusicLibraryFixture.h"

#include <QLineEdit>

#include <cstring>
#include <fstream>

namespace {

// Peak resident memory since the last ResetPeak, in MB (Linux /proc).
long statusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key))) / 1024;
    return -1;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The start of a real answer, as a server would send it before it dies.
std::string answerStart() {
    const std::string full = answer("track_search.xml");
    return full.substr(0, full.size() / 2);
}

class SearchServerFault : public MusicLibraryFixture {
protected:
    // Runs the search and returns the growth of the peak resident memory in MB.
    long peakGrowthOfSearch() {
        // The download module and the libraries it brings are loaded first:
        // they are code, not what the answer made the program keep.
        std::string why;
        EXPECT_NE(moduleSymbol("kolvadeck-download", "kolvadeck_transfer", &why), nullptr) << why;
        const long before = statusMb("VmRSS:");
        resetPeak();
        searched([&] { library_->find(); });
        EXPECT_EQ(errorTexts(), std::vector<std::string>{kAnswerTooLargeError})
            << "an oversized answer was accepted";
        return statusMb("VmHWM:") - before;
    }
};

TEST_F(SearchServerFault, ConnectionDroppedMidAnswerIsAConnectionError) {
    LoopbackServer::Response cut{200, "text/xml; charset=utf-8", answer("track_search.xml"), {}};
    cut.dropAfter = static_cast<long long>(cut.body.size() / 2);
    server_.serve("/", cut);
    library_->widgets().searchBox->setText("cher");
    searched([&] { library_->find(); });
    EXPECT_EQ(errorTexts(), std::vector<std::string>{kNoConnectionError});
    EXPECT_EQ(rows(), std::vector<std::string>{kNoMatchesRow});
    // No part of the cut answer is left under the query file's name.
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder_ / "queries"))
        ADD_FAILURE() << "left behind: " << entry.path();
}

TEST_F(SearchServerFault, CutAnswerWithoutLengthShowsNoMatches) {
    // Without a Content-Length the close looks like a normal end; the half
    // document is not well-formed and is not read at all.
    LoopbackServer::Response cut{200, "text/xml; charset=utf-8", answerStart(), {}};
    cut.announceLength = false;
    server_.serve("/", cut);
    library_->widgets().searchBox->setText("cher");
    searched([&] { library_->find(); });
    EXPECT_EQ(rows(), std::vector<std::string>{kNoMatchesRow});
    EXPECT_TRUE(library_->results().captions.empty());
}

// 50 MB of tracks in a valid document: read in full, it took ~850 MB and six
// seconds to list almost 900,000 rows. The answer is refused at the limit.
std::string hugeResultsDocument(std::size_t bytes) {
    const std::string track = "<track><name>n</name><artist>a</artist><url>u</url></track>";
    std::string body = "<?xml version=\"1.0\"?><lfm status=\"ok\"><results><trackmatches>";
    while (body.size() < bytes)
        body += track;
    return body + "</trackmatches></results></lfm>";
}

TEST_F(SearchServerFault, FiftyMegabytesOfGarbageAreRefusedWithBoundedMemory) {
    LoopbackServer::Response garbage{200, "text/xml", garbageBytes(1 << 20), {}};
    garbage.repeat = 50;
    server_.serve("/", garbage);
    library_->widgets().searchBox->setText("cher");
    const long growth = peakGrowthOfSearch();
    std::printf("peak memory growth over 50 MB of garbage: %ld MB\n", growth);
    EXPECT_LT(growth, 20);
    EXPECT_EQ(rows(), std::vector<std::string>{kNoMatchesRow});
}

TEST_F(SearchServerFault, HugeDocumentIsRefusedEvenWithoutAnnouncedLength) {
    LoopbackServer::Response huge{200, "text/xml", hugeResultsDocument(1 << 20), {}};
    // Fifty copies of a 1 MB document make no valid XML; what counts here is
    // that the first bytes past the limit end the transfer.
    huge.repeat = 50;
    huge.announceLength = false;
    server_.serve("/", huge);
    library_->widgets().searchBox->setText("cher");
    const long growth = peakGrowthOfSearch();
    std::printf("peak memory growth over 50 MB without a length: %ld MB\n", growth);
    EXPECT_LT(growth, 20);
    EXPECT_EQ(rows(), std::vector<std::string>{kNoMatchesRow});
}

TEST_F(SearchServerFault, AnswerJustUnderTheLimitIsStillListed) {
    const std::string body = hugeResultsDocument(kMaxQueryAnswerBytes - 4096);
    ASSERT_LE(static_cast<long long>(body.size()), kMaxQueryAnswerBytes);
    server_.serve("/", {200, "text/xml", body, {}});
    library_->widgets().searchBox->setText("cher");
    searched([&] { library_->find(); });
    EXPECT_GT(rows().size(), 30000u);
}

} // namespace
