#include "search/ResultReaders.h"
#include "LoopbackServer.h"
#include "search/SearchRequest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
SearchResults read(const std::string& method, const std::string& text) {
    pugi::xml_document document;
    if (!document.load_string(text.c_str(), pugi::parse_default))
        document.reset();
    SearchResults results;
    readAnswer(method, document, results);
    return results;
}

SearchResults readAnswerFile(const std::string& method, const std::string& name) {
    return read(method, answer(name));
}

std::vector<std::string> artists(const SearchResults& r) {
    std::vector<std::string> out;
    for (const auto& m : r.music)
        out.push_back(m.artist);
    return out;
}

std::vector<std::string> tracks(const SearchResults& r) {
    std::vector<std::string> out;
    for (const auto& m : r.music)
        out.push_back(m.track);
    return out;
}
} // namespace

TEST(TrackSearchAnswer, PrettyPrintedAnswerGivesOneRowPerTrackWithPartialRowsKept) {
    const SearchResults r = readAnswerFile(methods::kTrackSearch, "track_search.xml");
    EXPECT_THAT(r.captions, ElementsAre("Cher - Believe", "Bj\xC3\xB6rk - J\xC3\xB3ga", "", "",
                                        "Marvin Gaye & Tammi Terrell - Ain't No Mountain"));
    // The artist is read before the name: an empty artist stops the row at
    // once, a missing name after the artist was stored.
    EXPECT_THAT(artists(r), ElementsAre("Cher", "Bj\xC3\xB6rk", "", "Only Artist",
                                        "Marvin Gaye & Tammi Terrell"));
    EXPECT_THAT(tracks(r), ElementsAre("Believe", "J\xC3\xB3ga", "", "", "Ain't No Mountain"));
    EXPECT_THAT(r.video, IsEmpty());
}

TEST(TrackSearchAnswer, CompactAnswerReadsLikeThePrettyOne) {
    const SearchResults r = readAnswerFile(methods::kTrackSearch, "track_search_compact.xml");
    EXPECT_THAT(r.captions, ElementsAre("Adele - Hello", "Lionel Richie - Hello"));
}

TEST(TrackSearchAnswer, NoMatchesStillMakeOneEmptyRow) {
    for (const char* answer : {"track_search_empty.xml", "tag_topartists.xml"}) {
        const SearchResults r = readAnswerFile(methods::kTrackSearch, answer);
        EXPECT_THAT(r.captions, ElementsAre("")) << answer;
        EXPECT_EQ(r.music.size(), 1u) << answer;
    }
}

TEST(TrackSearchAnswer, OneTrackGivesOneRow) {
    const SearchResults r = readAnswerFile(methods::kTrackSearch, "track_search_one.xml");
    EXPECT_THAT(r.captions, ElementsAre("Lonely Artist - Unique Song"));
}

TEST(SimilarTracksAnswer, ArtistComesFromItsNameChild) {
    const SearchResults r = readAnswerFile(methods::kTrackGetSimilar, "track_getsimilar.xml");
    EXPECT_THAT(r.captions, ElementsAre("Cher - Strong Enough", "", "Madonna - Ray of Light"));
    EXPECT_THAT(artists(r), ElementsAre("Cher", "Madonna", "Madonna"));
    EXPECT_THAT(tracks(r), ElementsAre("Strong Enough", "", "Ray of Light"));
}

TEST(ArtistAnswers, BothArtistMethodsListNames) {
    const SearchResults top = readAnswerFile(methods::kTagGetTopArtists, "tag_topartists.xml");
    EXPECT_THAT(top.captions, ElementsAre("Kanye West", "Beyonc\xC3\xA9", "", "OutKast"));
    EXPECT_THAT(tracks(top), ElementsAre("", "", "", ""));
    const SearchResults similar =
        readAnswerFile(methods::kArtistGetSimilar, "artist_getsimilar.xml");
    EXPECT_THAT(similar.captions, ElementsAre("Jay-Z", "Sonny & Cher"));
}

TEST(ArtistAnswers, WithoutAnyMatchNoRowIsMade) {
    EXPECT_THAT(readAnswerFile(methods::kTagGetTopArtists, "tag_topartists_empty.xml").captions,
                IsEmpty());
    EXPECT_THAT(readAnswerFile(methods::kTrackGetSimilar, "track_search.xml").captions, IsEmpty());
}

TEST(ArtistAnswers, FollowingSiblingsCountWhateverTheirNames) {
    const SearchResults r =
        read(methods::kArtistGetSimilar, "<lfm><similarartists><info>x</info><artist><name>A</name>"
                                         "</artist><note/><artist><name>B</name></artist>"
                                         "</similarartists></lfm>");
    EXPECT_THAT(r.captions, ElementsAre("A", "", "B"));
}

TEST(MusicAnswers, TextReadsFailOnMixedContent) {
    const SearchResults r = read(methods::kTagGetTopArtists,
                                 "<lfm><topartists><artist><name>A<b>x</b></name></artist>"
                                 "<artist><name>  padded  </name></artist></topartists></lfm>");
    EXPECT_THAT(r.captions, ElementsAre("", "  padded  "));
}

TEST(VideoFeed, OnlyEntriesWithTitlePlayerAndMobileContentBecomeRows) {
    const SearchResults r = readAnswerFile(methods::kYoutubeSources, "youtube_sources.xml");
    EXPECT_THAT(r.captions, ElementsAre("Cher - Believe", "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga",
                                        "Mobile group"));
    ASSERT_EQ(r.video.size(), 3u);
    // The later mobile content wins; the page address is the first link's.
    EXPECT_EQ(r.video[0].mobileAddress, "rtsp://rtsp.example/aaa/6/video.3gp");
    EXPECT_EQ(r.video[0].playerAddress, "http://video.example/v/aaa?f=videos");
    EXPECT_EQ(r.video[0].pageAddress, "http://video.example/watch?v=aaa");
    EXPECT_EQ(r.video[0].title, "Cher - Believe");
    EXPECT_EQ(r.video[1].pageAddress, "");
    // The title comes from the group holding the mobile content.
    EXPECT_EQ(r.video[2].playerAddress, "http://video.example/v/hhh");
    EXPECT_EQ(r.video[2].mobileAddress, "rtsp://rtsp.example/hhh/1/video.3gp");
    EXPECT_TRUE(r.music.empty());
}

TEST(VideoFeed, CompactAndEmptyFeeds) {
    EXPECT_THAT(readAnswerFile(methods::kYoutubeSources, "youtube_sources_compact.xml").captions,
                ElementsAre("First clip", "Second clip"));
    EXPECT_THAT(readAnswerFile(methods::kYoutubeSources, "youtube_sources_empty.xml").captions,
                IsEmpty());
}

TEST(VideoFeed, EntriesMustShareTheFeedsNamespace) {
    // An "entry" in another namespace than the Atom feed is not an entry.
    const std::string feed =
        "<feed xmlns='http://www.w3.org/2005/Atom' xmlns:x='urn:other' "
        "xmlns:media='http://search.yahoo.com/mrss/'><x:entry><media:group><media:title>T"
        "</media:title><media:content url='p' type='application/x-shockwave-flash'/>"
        "<media:content url='m' type='video/3gpp'/></media:group></x:entry></feed>";
    EXPECT_THAT(read(methods::kYoutubeSources, feed).captions, IsEmpty());
    std::string atomEntry = feed;
    atomEntry.replace(atomEntry.find("<x:entry>"), 9, "<entry>");
    atomEntry.replace(atomEntry.find("</x:entry>"), 10, "</entry>");
    EXPECT_THAT(read(methods::kYoutubeSources, atomEntry).captions, ElementsAre("T"));
}

TEST(AnyAnswer, DocumentsThatAreNotXmlReadNothing) {
    const std::string file = std::string(KV_SOURCE_DIR) + "/tests/search/answers/not_xml.txt";
    pugi::xml_document document;
    EXPECT_FALSE(loadAnswer(file, document));
    EXPECT_FALSE(loadAnswer("/nonexistent/file.xml", document));
    SearchResults r;
    readAnswer(methods::kTrackSearch, document, r);
    EXPECT_THAT(r.captions, IsEmpty());
    // A document cut off half way is not loaded in part either.
    const std::string cut = testing::TempDir() + "/cut_answer.xml";
    {
        std::ofstream out(cut);
        out << answer("tag_topartists.xml").substr(0, 300);
    }
    EXPECT_FALSE(loadAnswer(cut, document));
    readAnswer(methods::kTagGetTopArtists, document, r);
    EXPECT_THAT(r.captions, IsEmpty());
}

TEST(AnyAnswer, BytesThatAreNotUtf8MakeADocumentReadAsUtf8Malformed) {
    const std::string file = testing::TempDir() + "/encoding_answer.xml";
    const auto artists = [&](const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
        pugi::xml_document document;
        SearchResults r;
        if (loadAnswer(file, document))
            readAnswer(methods::kTagGetTopArtists, document, r);
        return r.captions;
    };
    const std::string body = "<lfm><topartists><artist><name>Sch\xF6n</name></artist>"
                             "<artist><name>B</name></artist></topartists></lfm>";
    EXPECT_THAT(artists(body), IsEmpty()); // no declaration: UTF-8 by rule
    EXPECT_THAT(artists("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body), IsEmpty());
    EXPECT_THAT(artists("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body),
                ElementsAre("Sch\xC3\xB6n", "B"));
    EXPECT_THAT(artists("\xEF\xBB\xBF<lfm><topartists><artist><name>Sch\xC3\xB6n</name></artist>"
                        "</topartists></lfm>"),
                ElementsAre("Sch\xC3\xB6n"));
    EXPECT_THAT(artists("<lfm><topartists><artist><name>\xC0\xAF</name></artist></topartists>"
                        "</lfm>"),
                IsEmpty()); // an overlong form is no UTF-8 either
}
