// One answer reader of the search (KV_FUZZ_METHOD) on an arbitrary answer
// file, loaded and read the way the search does after a download.
#include "fuzz/FuzzCheck.h"
#include "fuzz/TempInputFile.h"
#include "search/ResultReaders.h"
#include "search/SearchRequest.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempInputFile file("answer.xml");
    file.write(data, size);
    pugi::xml_document answer;
    SearchResults results;
    if (loadAnswer(file.path(), answer))
        readAnswer(KV_FUZZ_METHOD, answer, results);
    else
        fuzzCheck(!answer.first_child(), "a refused answer leaves no document");

    const bool video = std::strcmp(KV_FUZZ_METHOD, methods::kYoutubeSources) == 0;
    if (video) {
        fuzzCheck(results.music.empty() && results.captions.size() == results.video.size(),
                  "one video entry per row");
        for (size_t i = 0; i < results.video.size(); ++i) {
            const VideoResult& v = results.video[i];
            fuzzCheck(!v.title.empty() && !v.mobileAddress.empty() && !v.playerAddress.empty(),
                      "a video row has its title and both addresses");
            fuzzCheck(results.captions[i] == v.title, "a video row shows its title");
        }
    } else {
        fuzzCheck(results.video.empty() && results.captions.size() == results.music.size(),
                  "one music entry per row");
    }
    return 0;
}
