#pragma once

#include <string>
#include <vector>

// The entry behind a row of the results list for the four music methods.
struct MusicResult {
    std::string artist;
    std::string track; // empty for the artist methods
    std::string file;  // the local file of a catalogued track, from its file: address
};

// The entry behind a row of the results list for the video method.
struct VideoResult {
    std::string mobileAddress; // the "video/3gpp" content's address
    std::string title;         // also the row's caption
    std::string playerAddress; // the "application/x-shockwave-flash" content's address
    std::string pageAddress;   // the "href" of the entry's first "link"; may be empty
};

// What reading an answer yields: the captions of the rows in answer order and
// the table of the method's kind, entry i belonging to row i.
struct SearchResults {
    std::vector<std::string> captions;
    std::vector<MusicResult> music;
    std::vector<VideoResult> video;

    void clear() {
        captions.clear();
        music.clear();
        video.clear();
    }
};
