#include "catalog/MediaFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

OwnedFile::~OwnedFile() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

namespace {

std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string head(int status, std::string_view reason) {
    return "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
           "\r\nConnection: close\r\n";
}

} // namespace

bool insideFolder(const std::string& resolvedPath, const std::string& folder) {
    std::string root = resolved(folder);
    if (root.empty() || resolvedPath.empty())
        return false;
    if (!root.ends_with('/'))
        root += '/';
    return resolvedPath.starts_with(root);
}

std::optional<MediaFile> openMediaFile(const std::string& path,
                                       const std::vector<std::string>& folders) {
    const std::string resolved = ::resolved(path);
    bool inside = false;
    for (const std::string& folder : folders)
        inside = inside || insideFolder(resolved, folder);
    if (!inside)
        return std::nullopt;
    auto file = std::make_shared<OwnedFile>(
        ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file->get() < 0 || fstat(file->get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size <= 0)
        return std::nullopt;
    return MediaFile{std::move(file), static_cast<std::int64_t>(info.st_size)};
}

Outgoing Outgoing::text(int status, std::string_view reason, std::string_view contentType,
                        std::string_view body) {
    Outgoing out;
    out.pieces.push_back({head(status, reason) + "Content-Type: " + std::string(contentType) +
                              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                              std::string(body),
                          0, 0});
    return out;
}

Outgoing mediaAnswer(const MediaFile& media, std::string_view mediaType,
                     std::string_view rangeHeader, bool headOnly) {
    const std::string size = std::to_string(media.size);
    const ByteRanges ranges = ByteRanges::of(rangeHeader, media.size);
    if (ranges.kind == ByteRanges::Kind::Unsatisfiable) {
        Outgoing out = Outgoing::text(416, "Range Not Satisfiable", "text/plain", "");
        out.pieces.front().text.insert(out.pieces.front().text.find("\r\n") + 2,
                                       "Content-Range: bytes */" + size + "\r\n");
        return out;
    }
    Outgoing out;
    out.file = media.file;
    out.streaming = true;
    const std::string type = "Content-Type: " + std::string(mediaType) + "\r\n";
    const std::string common = "Accept-Ranges: bytes\r\n";
    const auto span = [&](const ByteRanges::Part& part) {
        return "bytes " + std::to_string(part.first) + "-" + std::to_string(part.last) + "/" + size;
    };
    if (ranges.kind == ByteRanges::Kind::WholeFile) {
        out.pieces.push_back(
            {head(200, "OK") + common + type + "Content-Length: " + size + "\r\n\r\n", 0,
             media.size});
    } else if (ranges.parts.size() == 1) {
        const ByteRanges::Part& part = ranges.parts.front();
        out.pieces.push_back(
            {head(206, "Partial Content") + common + type + "Content-Range: " + span(part) +
                 "\r\nContent-Length: " + std::to_string(part.last - part.first + 1) + "\r\n\r\n",
             part.first, part.last - part.first + 1});
    } else {
        const std::string boundary = "kolvadeck-byteranges-boundary";
        std::vector<Outgoing::Piece> parts;
        std::int64_t length = 0;
        for (const ByteRanges::Part& part : ranges.parts) {
            std::string text = std::string(parts.empty() ? "" : "\r\n") + "--" + boundary + "\r\n" +
                               type + "Content-Range: " + span(part) + "\r\n\r\n";
            length += static_cast<std::int64_t>(text.size()) + part.last - part.first + 1;
            parts.push_back({std::move(text), part.first, part.last - part.first + 1});
        }
        const std::string closing = "\r\n--" + boundary + "--\r\n";
        length += static_cast<std::int64_t>(closing.size());
        out.pieces.push_back({head(206, "Partial Content") + common +
                                  "Content-Type: multipart/byteranges; boundary=" + boundary +
                                  "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n",
                              0, 0});
        out.pieces.insert(out.pieces.end(), parts.begin(), parts.end());
        out.pieces.push_back({closing, 0, 0});
    }
    if (headOnly) {
        out.pieces.resize(1);
        out.pieces.front().length = 0;
    }
    return out;
}
