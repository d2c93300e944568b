#pragma once

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace audio {

// While PortAudio starts, it probes every host API and device it knows; ALSA
// and JACK print a line for each probe that fails (a dozen on a desktop
// without JACK, hundreds on a machine without a sound card). Those lines say
// nothing to the user, so standard error is pointed at /dev/null for that
// moment; the program reports the outcome itself.
class QuietStderr {
public:
    QuietStderr()
        : saved_((std::fflush(stderr), ::dup(STDERR_FILENO))) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStderr() {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

} // namespace audio
