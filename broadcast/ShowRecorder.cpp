#include "broadcast/ShowRecorder.h"

#include "broadcast/BroadcastLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ShowRecorder::~ShowRecorder() {
    if (encoder_ && !failed_)
        encoder_->finish();
    encoder_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

bool ShowRecorder::open(const std::string& path, std::string* why) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        *why = std::strerror(errno);
        return false;
    }
    encoder_ = makeStreamEncoder(
        StreamFormat::Opus, kKbps, {}, [this](const unsigned char* bytes, std::size_t size) {
            while (size > 0) {
                const ssize_t n = ::write(fd_, bytes, size);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    qCWarning(lcBroadcast, "the recording stopped: %s", std::strerror(errno));
                    failed_ = true;
                    return;
                }
                bytes += n;
                size -= std::size_t(n);
            }
        });
    return encoder_ != nullptr;
}

void ShowRecorder::write(const audio::StereoFrame* frames, std::size_t count) {
    if (encoder_ && !failed_)
        encoder_->encode(frames, count);
}
