#include "platform/audio/Mp3Decoder.h"

#include "platform/audio/MediaError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mpg123.h>
#include <mutex>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace audio {

namespace {

void initLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// A WAV file renamed to .mp3 decodes as loud garbage: mpg123 finds false
// frame headers in the PCM data. Its RIFF header gives it away.
bool hasRiffHeader(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char head[4] = {};
    const bool riff = std::fread(head, 1, 4, f) == 4 && std::memcmp(head, "RIFF", 4) == 0;
    std::fclose(f);
    return riff;
}

// A pipe cannot be scanned and then read again from its start, so its bytes
// are first copied into an anonymous memory file. The copy waits for the
// writer in short polls so that a cancelled load ends soon.
constexpr off_t kMaxPipeBytes = off_t{1} << 30;

int copyPipeToMemory(const std::string& path, const std::atomic<bool>* cancel) {
    const int in = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return -1;
    const int out = ::memfd_create("kolvadeck-deck", MFD_CLOEXEC);
    off_t total = 0;
    bool ok = out >= 0;
    char buffer[65536];
    while (ok) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            ok = false;
            break;
        }
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue; // no writer yet, or nothing new
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break; // the writer closed the pipe
        if (n < 0) {
            ok = errno == EAGAIN || errno == EINTR;
            continue;
        }
        total += n;
        ok = total <= kMaxPipeBytes && ::write(out, buffer, static_cast<size_t>(n)) == n;
    }
    ::close(in);
    if (!ok || total == 0 || ::lseek(out, 0, SEEK_SET) != 0) {
        if (out >= 0)
            ::close(out);
        return -1;
    }
    return out;
}

} // namespace

Mp3Decoder::Mp3Decoder(bool exactLength)
    : exactLength_(exactLength) {
    initLibraryOnce();
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
    close();
    mpg123_delete(handle_);
}

void Mp3Decoder::fail(const std::string& text, MediaFault fault) {
    close();
    throw MediaError(text, fault);
}

void Mp3Decoder::open(const std::string& path, const std::atomic<bool>* cancel) {
    close();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        fail("The file was not found: " + path, MediaFault::Missing);
    const bool pipe = S_ISFIFO(st.st_mode);
    if (!S_ISREG(st.st_mode) && !pipe)
        fail("Not a file: " + path, MediaFault::Missing);
    if (pipe) {
        memoryFd_ = copyPipeToMemory(path, cancel);
        if (memoryFd_ < 0)
            fail("Nothing could be read from " + path, MediaFault::Damaged);
    } else if (st.st_size == 0) {
        fail("The file is empty: " + path, MediaFault::Damaged);
    }
    const std::string source = pipe ? "/proc/self/fd/" + std::to_string(memoryFd_) : path;
    if (hasRiffHeader(source))
        fail("Not an MPEG audio file (it holds RIFF/WAV data): " + path, MediaFault::NotMp3);
    const int opened =
        pipe ? mpg123_open_fd(handle_, memoryFd_) : mpg123_open(handle_, path.c_str());
    if (opened != MPG123_OK)
        fail("The file cannot be opened: " + path + " " + mpg123_strerror(handle_),
             MediaFault::Missing);
    open_ = true;
    long rate = 0;
    int channels = 0, encoding = 0;
    // mpg123_open accepts anything; the first frame and the scan tell.
    if ((exactLength_ && mpg123_scan(handle_) != MPG123_OK) ||
        mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK)
        fail("No MPEG audio found in " + path + " " + mpg123_strerror(handle_),
             MediaFault::Damaged);
    const off_t length = mpg123_length(handle_);
    if (length <= 0)
        fail("No MPEG audio found in " + path, MediaFault::Damaged);
    lengthFrames_ = length;
    finished_ = false;
}

void Mp3Decoder::close() {
    if (open_)
        mpg123_close(handle_);
    if (memoryFd_ >= 0)
        ::close(memoryFd_);
    memoryFd_ = -1;
    open_ = false;
    finished_ = false;
    lengthFrames_ = 0;
}

std::size_t Mp3Decoder::decode(StereoFrame* dst, std::size_t maxFrames) {
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
