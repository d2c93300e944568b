// The playlist's quick tag reader on an arbitrary file: the fields are exactly
// the bytes of the last 128 (or of the whole shorter file, zero-padded).
#include "decks/tags/QuickTag.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/TempInputFile.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempInputFile file("title.mp3");
    file.write(data, size);
    const TitleTag tag = readTitleTag(file.path());

    std::string block(128, '\0');
    const size_t from = size > 128 ? size - 128 : 0;
    std::copy(data + from, data + size, block.begin());
    fuzzCheck(tag.marker == block.substr(0, 3), "marker is bytes 0..2");
    fuzzCheck(tag.title == block.substr(3, 30), "title is bytes 3..32");
    fuzzCheck(tag.artist == block.substr(33, 30), "artist is bytes 33..62");
    fuzzCheck(tag.album == block.substr(63, 30), "album is bytes 63..92");
    fuzzCheck(tag.year == block.substr(93, 4), "year is bytes 93..96");
    fuzzCheck(tag.comment == block.substr(97, 30), "comment is bytes 97..126");
    fuzzCheck(tag.genre == static_cast<uint8_t>(block[127]), "genre is byte 127");
    return 0;
}
