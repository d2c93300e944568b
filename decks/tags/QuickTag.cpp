#include "decks/tags/QuickTag.h"

#include "decks/tags/ID3v1Layout.h"
#include "decks/tags/TagFile.h"

#include <array>

TitleTag readTitleTag(const std::string& path) {
    using namespace id3v1;
    TagFile file(path, TagFile::Mode::Read);
    if (!file.isOpen())
        throw EFOpenError(path, file.openError());

    std::array<char, kBlockSize> block{};
    const off_t size = file.size();
    file.readAt(block.data(), block.size(),
                size > off_t(kBlockSize) ? size - off_t(kBlockSize) : 0);
    file.close();

    auto field = [&](std::size_t offset, std::size_t size) {
        return std::string(block.data() + offset, size);
    };
    TitleTag tag;
    tag.marker = field(kMarker, kMarkerSize);
    tag.title = field(kTitle, kTitleSize);
    tag.artist = field(kArtist, kArtistSize);
    tag.album = field(kAlbum, kAlbumSize);
    tag.year = field(kYear, kYearSize);
    tag.comment = field(kComment, kCommentSize + 1);
    tag.genre = static_cast<uint8_t>(block[kGenre]);
    return tag;
}
