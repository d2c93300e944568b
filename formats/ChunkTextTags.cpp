#include "formats/ChunkTextTags.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace formats {

namespace {

// A damaged file could hold millions of tiny chunks or a huge "name": both
// are cut short, as no writer makes either.
constexpr int kMaxChunks = 4096;
constexpr std::uint32_t kMaxText = 4096;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct ChunkHeader {
    std::array<char, 4> id{};
    std::uint32_t size = 0;
};

bool idIs(const std::array<char, 4>& id, const char* name) {
    return std::memcmp(id.data(), name, 4) == 0;
}

// RIFF counts little-endian, AIFF (an IFF) big-endian.
std::optional<ChunkHeader> readHeader(std::FILE* f, bool bigEndian) {
    unsigned char raw[8];
    if (std::fread(raw, 1, sizeof raw, f) != sizeof raw)
        return std::nullopt;
    ChunkHeader header;
    std::memcpy(header.id.data(), raw, 4);
    for (int i = 0; i < 4; ++i)
        header.size |= std::uint32_t(raw[bigEndian ? 4 + i : 7 - i]) << (8 * (3 - i));
    return header;
}

// Chunks are padded to an even length.
bool skipBody(std::FILE* f, std::uint32_t size) {
    return fseeko(f, off_t(size) + off_t(size & 1), SEEK_CUR) == 0;
}

bool isUtf8(const std::string& text) {
    std::size_t follow = 0;
    for (const unsigned char c : text) {
        if (follow > 0) {
            if ((c & 0xC0) != 0x80)
                return false;
            --follow;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
        } else if (c >= 0xE0) {
            follow = c <= 0xEF ? 2 : 99;
        } else if (c >= 0xC2) {
            follow = 1;
        } else if (c >= 0x80) {
            return false;
        }
        if (follow == 99)
            return false;
    }
    return follow == 0;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string readText(std::FILE* f, std::uint32_t size) {
    std::string text(std::min(size, kMaxText), '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    text.resize(std::strlen(text.c_str()));
    const auto blank = [](unsigned char c) { return c <= ' '; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    return isUtf8(text) ? text : latin1ToUtf8(text);
}

// The INFO list's sub-chunks, inside a LIST chunk of this size (its "INFO"
// word already read).
void readInfoList(std::FILE* f, std::uint32_t size, ChunkTextTags& tags) {
    std::uint32_t used = 4;
    for (int n = 0; n < kMaxChunks && used + 8 <= size; ++n) {
        const std::optional<ChunkHeader> sub = readHeader(f, false);
        if (!sub || sub->size > size - used - 8)
            return;
        const off_t next = ftello(f) + off_t(sub->size) + off_t(sub->size & 1);
        if (idIs(sub->id, "IART"))
            tags.artist = readText(f, sub->size);
        else if (idIs(sub->id, "INAM"))
            tags.title = readText(f, sub->size);
        if (fseeko(f, next, SEEK_SET) != 0)
            return;
        used += 8 + sub->size + (sub->size & 1);
    }
}

} // namespace

std::optional<ChunkTextTags> readChunkTextTags(const std::string& path) {
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return std::nullopt;
    std::FILE* f = file.get();
    char form[12];
    if (std::fread(form, 1, sizeof form, f) != sizeof form)
        return std::nullopt;
    const bool wav = std::memcmp(form, "RIFF", 4) == 0 && std::memcmp(form + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(form, "FORM", 4) == 0 && (std::memcmp(form + 8, "AIFF", 4) == 0 ||
                                                            std::memcmp(form + 8, "AIFC", 4) == 0);
    if (!wav && !aiff)
        return std::nullopt;
    ChunkTextTags tags;
    for (int n = 0; n < kMaxChunks; ++n) {
        const std::optional<ChunkHeader> chunk = readHeader(f, aiff);
        if (!chunk)
            break;
        const off_t body = ftello(f);
        if (aiff && idIs(chunk->id, "NAME")) {
            tags.title = readText(f, chunk->size);
        } else if (aiff && idIs(chunk->id, "AUTH")) {
            tags.artist = readText(f, chunk->size);
        } else if (wav && idIs(chunk->id, "LIST") && chunk->size >= 4) {
            char kind[4];
            if (std::fread(kind, 1, 4, f) == 4 && std::memcmp(kind, "INFO", 4) == 0)
                readInfoList(f, chunk->size, tags);
        }
        if (fseeko(f, body, SEEK_SET) != 0 || !skipBody(f, chunk->size))
            break;
    }
    if (tags.artist.empty() && tags.title.empty())
        return std::nullopt;
    return tags;
}

} // namespace formats
