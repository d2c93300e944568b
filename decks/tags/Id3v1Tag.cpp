#include "decks/tags/Id3v1Tag.h"

#include "decks/tags/ID3v1Layout.h"
#include "decks/tags/TagFile.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using Block = std::array<char, id3v1::kBlockSize>;

// The text of a field: up to its first zero byte, or, with no zero byte,
// without its trailing spaces (writers that pad with spaces).
std::string cleanField(const Block& block, std::size_t offset, std::size_t size) {
    const char* begin = block.data() + offset;
    const char* end = begin + size;
    const char* zero = std::find(begin, end, '\0');
    if (zero != end)
        return std::string(begin, zero);
    while (end > begin && end[-1] == ' ')
        --end;
    return std::string(begin, end);
}

bool hasMarker(const Block& block) {
    return std::memcmp(block.data() + id3v1::kMarker, id3v1::kMarkerText, id3v1::kMarkerSize) == 0;
}

// Reads the head of the file, as the tag code always has (its content is not
// used; an unreadable file fails here), then the last 128 bytes. A file
// shorter than 128 bytes cannot hold a tag: the block then stays empty.
// Returns the offset of the block, or the file's size when there is none.
off_t readLastBlock(TagFile& file, Block& block) {
    std::array<char, 4> head{};
    file.readAt(head.data(), head.size(), 0);
    block.fill('\0');
    const off_t size = file.size();
    if (size < off_t(id3v1::kBlockSize))
        return size;
    const off_t at = size - off_t(id3v1::kBlockSize);
    if (file.readAt(block.data(), block.size(), at) < block.size())
        block.fill('\0'); // the file shrank meanwhile
    return at;
}

void putField(Block& block, std::size_t offset, std::size_t size, const std::string& text) {
    std::memcpy(block.data() + offset, text.data(), std::min(size, text.size()));
}

} // namespace

bool readTag(const std::string& path, ID3Tag& tag, FileStamp* stamp) {
    using namespace id3v1;
    tag.present = false;
    TagFile file(path, TagFile::Mode::Read);
    if (!file.isOpen())
        return false;
    if (stamp)
        *stamp = file.stamp();
    Block block;
    readLastBlock(file, block);
    file.close();

    tag = ID3Tag{};
    if (!hasMarker(block)) {
        tag.genre = kNoGenre;
        return true;
    }
    tag.present = true;
    tag.title = cleanField(block, kTitle, kTitleSize);
    tag.artist = cleanField(block, kArtist, kArtistSize);
    tag.album = cleanField(block, kAlbum, kAlbumSize);
    tag.year = cleanField(block, kYear, kYearSize);
    tag.comment = cleanField(block, kComment, kCommentSize);
    tag.track = static_cast<uint8_t>(block[kTrack]);
    tag.genre = static_cast<uint8_t>(block[kGenre]);
    return true;
}

namespace {
TagWrite write(const std::string& path, const ID3Tag& tag, const FileStamp* expected) {
    using namespace id3v1;
    TagFile file(path, TagFile::Mode::ReadWrite);
    if (!file.isOpen())
        return TagWrite::NotOpened;
    if (expected && !(file.stamp() == *expected))
        return TagWrite::Changed;
    Block old;
    const off_t blockAt = readLastBlock(file, old);
    // Overwrite an existing tag; otherwise append at the end of the file.
    const off_t writeAt = hasMarker(old) ? blockAt : file.size();

    Block block{};
    putField(block, kMarker, kMarkerSize, kMarkerText);
    putField(block, kTitle, kTitleSize, tag.title);
    putField(block, kArtist, kArtistSize, tag.artist);
    putField(block, kAlbum, kAlbumSize, tag.album);
    putField(block, kYear, kYearSize, tag.year);
    putField(block, kComment, kCommentSize, tag.comment);
    block[kTrack] = static_cast<char>(tag.track);
    block[kGenre] = static_cast<char>(tag.genre);

    file.writeAt(block.data(), block.size(), writeAt);
    file.close();
    return TagWrite::Written;
}
} // namespace

bool writeTag(const std::string& path, const ID3Tag& tag) {
    return write(path, tag, nullptr) == TagWrite::Written;
}

TagWrite writeTagIfUnchanged(const std::string& path, const ID3Tag& tag, const FileStamp& read) {
    return write(path, tag, &read);
}
