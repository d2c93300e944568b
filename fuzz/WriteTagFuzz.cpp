// The tag writer on an arbitrary file with arbitrary texts: what it writes is
// what the reader then finds, and the audio before the tag is left alone.
#include "decks/tags/Id3v1Tag.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/TempInputFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {
// What the reader gives back of a text written into a field of this size.
std::string asRead(const std::string& text, size_t size) {
    std::string field = text.substr(0, size);
    const size_t zero = field.find('\0');
    if (zero != std::string::npos)
        return field.substr(0, zero);
    if (field.size() < size)
        return field; // zero padding follows
    while (!field.empty() && field.back() == ' ')
        field.pop_back();
    return field;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    ID3Tag tag;
    tag.title = input.ConsumeRandomLengthString(40);
    tag.artist = input.ConsumeRandomLengthString(40);
    tag.album = input.ConsumeRandomLengthString(40);
    tag.year = input.ConsumeRandomLengthString(8);
    tag.comment = input.ConsumeRandomLengthString(40);
    tag.track = input.ConsumeIntegral<uint8_t>();
    tag.genre = input.ConsumeIntegral<uint8_t>();
    const std::string before = input.ConsumeRemainingBytesAsString();

    static TempInputFile file("write.mp3");
    file.write(reinterpret_cast<const uint8_t*>(before.data()), before.size());
    fuzzCheck(writeTag(file.path(), tag), "a writable file takes a tag");

    const bool hadTag =
        before.size() >= 128 && std::memcmp(before.data() + before.size() - 128, "TAG", 3) == 0;
    const std::string after = contents(file.path());
    const size_t audio = hadTag ? before.size() - 128 : before.size();
    fuzzCheck(after.size() == audio + 128, "the tag replaces the old one or is appended");
    fuzzCheck(after.compare(0, audio, before, 0, audio) == 0, "the bytes before the tag stay");

    ID3Tag back;
    fuzzCheck(readTag(file.path(), back) && back.present, "the written tag is found");
    fuzzCheck(back.title == asRead(tag.title, 30), "title reads back");
    fuzzCheck(back.artist == asRead(tag.artist, 30), "artist reads back");
    fuzzCheck(back.album == asRead(tag.album, 30), "album reads back");
    fuzzCheck(back.year == asRead(tag.year, 4), "year reads back");
    fuzzCheck(back.comment == asRead(tag.comment, 29), "comment reads back");
    fuzzCheck(back.track == tag.track && back.genre == tag.genre, "track and genre read back");
    return 0;
}
