#pragma once

#include "catalog/ByteRanges.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A file descriptor closed with its last owner.
class OwnedFile {
public:
    explicit OwnedFile(int descriptor)
        : descriptor_(descriptor) {}
    ~OwnedFile();
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

struct MediaFile {
    std::shared_ptr<OwnedFile> file;
    std::int64_t size = 0;
};

// Opens a catalogued video for sending, only when its resolved path lies in
// one of the folders and it is a regular, non-empty file. The open never
// blocks (a FIFO or device put in a video's place is refused at once) and does
// not follow a link swapped in after the path was resolved.
std::optional<MediaFile> openMediaFile(const std::string& path,
                                       const std::vector<std::string>& folders);

// Whether a resolved path lies inside the folder (resolved too).
bool insideFolder(const std::string& resolvedPath, const std::string& folder);

// An answer the server sends piece by piece: each piece is text followed by
// a span of the file, so that a video is never held in memory.
struct Outgoing {
    struct Piece {
        std::string text;
        std::int64_t offset = 0;
        std::int64_t length = 0; // file bytes after the text
    };
    std::vector<Piece> pieces;
    std::shared_ptr<OwnedFile> file;
    bool streaming = false; // a video: no deadline for the whole answer

    static Outgoing text(int status, std::string_view reason, std::string_view contentType,
                         std::string_view body);
};

// The answer to a GET (or HEAD) of a video with the request's Range header:
// 200 with the whole file, 206 with one part or multipart/byteranges, or 416.
Outgoing mediaAnswer(const MediaFile& media, std::string_view mediaType,
                     std::string_view rangeHeader, bool headOnly);
