#include "catalog/TagReading.h"

#include "catalog/Genres.h"
#include "catalog/VideoLength.h"
#include "formats/ChunkTextTags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tiostream.h>
#include <taglib/tpropertymap.h>

#include <algorithm>

namespace {

bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

std::string utf8(const TagLib::String& text) {
    return cleanText(text.to8Bit(true));
}

// "Artist - Title" file names give both; any other name is the title alone.
// A file that names neither is listed by its whole file name, so that the
// user sees which file it is.
void fillFromFileName(const std::string& path, std::string& title, std::string& artist) {
    const std::string stem = fileStem(path);
    if (title.empty() && artist.empty() && stem.find(" - ") == std::string::npos) {
        const size_t slash = path.rfind('/');
        title = cleanText(path.substr(slash == std::string::npos ? 0 : slash + 1));
    }
    const size_t dash = stem.find(" - ");
    if (dash != std::string::npos && dash > 0 && dash + 3 < stem.size()) {
        if (artist.empty())
            artist = cleanText(stem.substr(0, dash));
        if (title.empty())
            title = cleanText(stem.substr(dash + 3));
    }
    if (title.empty())
        title = stem.empty() ? std::string("Untitled") : stem;
    if (artist.empty())
        artist = kUnknownArtist;
}

} // namespace

std::string cleanText(std::string_view text) {
    std::string utf8 = validUtf8(text) ? std::string(text) : latin1ToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            continue;
        out.push_back(c);
    }
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string fileStem(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    std::replace(name.begin(), name.end(), '_', ' ');
    return cleanText(name);
}

namespace {

// Tags are read only from a regular file reached without a link: a FIFO or
// device swapped in after the walk would block the reader, a link could lead
// out of the folders. The file, open, or -1.
int openPlain(const std::string& path, struct stat& info) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool plainFile(const std::string& path) {
    struct stat info {};
    const int fd = openPlain(path, info);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

// TagLib's reading of a file the scan opened and checked itself, so that
// the file the tags come from is the one checked; reads go straight to the
// file. TagLib takes the kind of file from the name's extension, as for a
// file it opens by name. Read only.
class PlainFileStream : public TagLib::IOStream {
public:
    explicit PlainFileStream(const std::string& path)
        : path_(path) {
        struct stat info {};
        fd_ = openPlain(path, info);
        size_ = fd_ >= 0 ? static_cast<long>(info.st_size) : 0;
    }
    ~PlainFileStream() override {
        if (fd_ >= 0)
            close(fd_);
    }
    PlainFileStream(const PlainFileStream&) = delete;
    PlainFileStream& operator=(const PlainFileStream&) = delete;

    TagLib::FileName name() const override { return path_.c_str(); }
    TagLib::ByteVector readBlock(unsigned long length) override {
        const long count = std::clamp<long>(size_ - position_, 0, static_cast<long>(length));
        TagLib::ByteVector block(static_cast<unsigned int>(count), '\0');
        const ssize_t got =
            count > 0 ? pread(fd_, block.data(), static_cast<size_t>(count), position_) : 0;
        block.resize(static_cast<unsigned int>(std::max<ssize_t>(got, 0)));
        position_ += static_cast<long>(block.size());
        return block;
    }
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return fd_ >= 0; }
    void seek(long offset, Position from) override {
        const long base = from == Beginning ? 0 : from == Current ? position_ : size_;
        if (base + offset >= 0)
            position_ = base + offset;
    }
    long tell() const override { return position_; }
    long length() override { return size_; }
    void truncate(long) override {}

private:
    std::string path_;
    int fd_ = -1;
    long size_ = 0;
    long position_ = 0;
};

} // namespace

TrackTags readTrackTags(const std::string& path) {
    TrackTags tags;
    PlainFileStream stream(path);
    const TagLib::FileRef file =
        stream.isOpen() ? TagLib::FileRef(&stream, false) : TagLib::FileRef();
    if (!file.isNull() && file.tag()) {
        const TagLib::Tag* tag = file.tag(); // ID3v2 fields first, ID3v1 where they are empty
        tags.title = utf8(tag->title());
        tags.artist = utf8(tag->artist());
        tags.album = utf8(tag->album());
        tags.year = static_cast<int>(tag->year());
        // Several genres may be given as separate values, which the joined
        // text runs together with blanks; only then are the values asked for
        // one by one (building the property map costs as much as the read).
        std::vector<std::string> fields{utf8(tag->genre())};
        if (fields.front().find(' ') != std::string::npos) {
            const TagLib::PropertyMap properties = file.file()->properties();
            const auto values = properties.find("GENRE");
            if (values != properties.end() && !values->second.isEmpty()) {
                fields.clear();
                for (const TagLib::String& value : values->second)
                    fields.push_back(utf8(value));
            }
        }
        for (const std::string& field : fields)
            for (std::string& key : genres::keysOfField(field))
                if (std::find(tags.genres.begin(), tags.genres.end(), key) == tags.genres.end())
                    tags.genres.push_back(std::move(key));
    }
    if (tags.year < 0 || tags.year > 9999)
        tags.year = 0;
    // A WAV or AIFF without an ID3 chunk may still be named in its own chunks.
    if (tags.title.empty() && tags.artist.empty() && plainFile(path))
        if (const std::optional<formats::ChunkTextTags> chunks = formats::readChunkTextTags(path)) {
            tags.title = cleanText(chunks->title);
            tags.artist = cleanText(chunks->artist);
        }
    fillFromFileName(path, tags.title, tags.artist);
    const size_t slash = path.rfind('/');
    tags.name = cleanText(path.substr(slash == std::string::npos ? 0 : slash + 1));
    return tags;
}

VideoTags readVideoTags(const std::string& path) {
    VideoTags tags;
    tags.name = fileStem(path);
    const TagLib::FileRef file =
        plainFile(path) ? TagLib::FileRef(path.c_str(), true, TagLib::AudioProperties::Fast)
                        : TagLib::FileRef();
    if (!file.isNull()) {
        if (const TagLib::Tag* tag = file.tag()) {
            tags.title = utf8(tag->title());
            tags.artist = utf8(tag->artist());
        }
        if (const TagLib::AudioProperties* properties = file.audioProperties())
            tags.seconds = properties->lengthInSeconds();
    }
    // TagLib knows the length of MP4 files only; FFmpeg reads the other containers.
    if (tags.seconds <= 0 && plainFile(path))
        tags.seconds = videoSeconds(path);
    if (tags.title.empty())
        tags.title = tags.name.empty() ? std::string("Untitled") : tags.name;
    return tags;
}
