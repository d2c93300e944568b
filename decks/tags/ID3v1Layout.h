#pragma once

#include <cstddef>

// Byte layout of the ID3 version 1.1 block, the last 128 bytes of an MP3 file.
namespace id3v1 {

constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kMarker = 0, kMarkerSize = 3;
constexpr std::size_t kTitle = 3, kTitleSize = 30;
constexpr std::size_t kArtist = 33, kArtistSize = 30;
constexpr std::size_t kAlbum = 63, kAlbumSize = 30;
constexpr std::size_t kYear = 93, kYearSize = 4;
constexpr std::size_t kComment = 97, kCommentSize = 29; // 30 with the track byte (version 1.0)
constexpr std::size_t kTrack = 126;
constexpr std::size_t kGenre = 127;

constexpr char kMarkerText[] = "TAG";
constexpr unsigned char kNoGenre = 255;

} // namespace id3v1
