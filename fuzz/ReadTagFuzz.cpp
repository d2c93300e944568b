// The tag editor's reader on an arbitrary file.
#include "decks/tags/Id3v1Tag.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/TempInputFile.h"

#include <cstring>
#include <string>

namespace {
bool clean(const std::string& text, size_t size) {
    return text.size() <= size && text.find('\0') == std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempInputFile file("read.mp3");
    file.write(data, size);
    ID3Tag tag;
    fuzzCheck(readTag(file.path(), tag), "a readable file is read");

    const bool marked = size >= 128 && std::memcmp(data + size - 128, "TAG", 3) == 0;
    fuzzCheck(tag.present == marked, "present exactly when the last 128 bytes begin with TAG");
    fuzzCheck(clean(tag.title, 30) && clean(tag.artist, 30) && clean(tag.album, 30) &&
                  clean(tag.year, 4) && clean(tag.comment, 29),
              "texts fit their fields and hold no zero byte");
    if (!marked)
        fuzzCheck(tag.title.empty() && tag.track == 0 && tag.genre == 255,
                  "no tag reads as empty with no genre");
    return 0;
}
