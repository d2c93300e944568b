#include "platform/audio/Mp3Decoder.h"

#include "platform/audio/MediaError.h"

#include <cstdio>
#include <cstring>
#include <mpg123.h>
#include <mutex>
#include <sys/stat.h>

namespace audio {

namespace {

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// A WAV file renamed to .mp3 decodes as loud garbage: mpg123 finds false
// frame headers in the PCM data. Its RIFF header gives it away.
bool HasRiffHeader(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char head[4] = {};
    const bool riff = std::fread(head, 1, 4, f) == 4 && std::memcmp(head, "RIFF", 4) == 0;
    std::fclose(f);
    return riff;
}

} // namespace

Mp3Decoder::Mp3Decoder() {
    InitLibraryOnce();
    int err = MPG123_OK;
    handle_ = mpg123_new(nullptr, &err);
    if (!handle_)
        throw MediaError(std::string("MP3 decoder unavailable: ") + mpg123_plain_strerror(err));
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    // Only the output format is allowed: the library converts rate and channels.
    mpg123_format_none(handle_);
    mpg123_format(handle_, kOutputRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
}

Mp3Decoder::~Mp3Decoder() {
    Close();
    mpg123_delete(handle_);
}

void Mp3Decoder::Fail(const std::string& text) {
    Close();
    throw MediaError(text);
}

void Mp3Decoder::Open(const std::string& path) {
    Close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        Fail("The file was not found: " + path);
    if (!S_ISREG(st.st_mode))
        Fail("Not a file: " + path);
    if (st.st_size == 0)
        Fail("The file is empty: " + path);
    if (HasRiffHeader(path))
        Fail("Not an MPEG audio file (it holds RIFF/WAV data): " + path);
    if (mpg123_open(handle_, path.c_str()) != MPG123_OK)
        Fail("The file cannot be opened: " + path + " " + mpg123_strerror(handle_));
    open_ = true;
    long rate = 0;
    int channels = 0, encoding = 0;
    // mpg123_open accepts anything; the first frame and the scan tell.
    if (mpg123_scan(handle_) != MPG123_OK ||
        mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK)
        Fail("No MPEG audio found in " + path + " " + mpg123_strerror(handle_));
    const off_t length = mpg123_length(handle_);
    if (length <= 0)
        Fail("No MPEG audio found in " + path);
    lengthFrames_ = length;
    finished_ = false;
}

void Mp3Decoder::Close() {
    if (open_)
        mpg123_close(handle_);
    open_ = false;
    finished_ = false;
    lengthFrames_ = 0;
}

std::size_t Mp3Decoder::Decode(StereoFrame* dst, std::size_t maxFrames) {
    if (!open_ || finished_ || maxFrames == 0)
        return 0;
    std::size_t bytes = 0;
    const int rc = mpg123_read(handle_, reinterpret_cast<unsigned char*>(dst),
                               maxFrames * sizeof(StereoFrame), &bytes);
    // NEW_FORMAT cannot change what we get (one format allowed); anything other
    // than OK ends the stream, so a truncated file plays up to where it breaks;
    // OK with nothing read would only spin, so it ends the stream too.
    if ((rc != MPG123_OK && rc != MPG123_NEW_FORMAT) || (rc == MPG123_OK && bytes == 0))
        finished_ = true;
    return bytes / sizeof(StereoFrame);
}

} // namespace audio
