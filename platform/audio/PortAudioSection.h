#pragma once

#include <cstdio>
#include <fcntl.h>
#include <mutex>
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

// PortAudio keeps its initialisation count, host APIs and list of open
// streams in globals without a lock of its own, while the output engine
// (from its decoder thread, when it reopens a device) and the input capture
// (from the main thread) both start and end streams. Every initialise,
// terminate, open, start, stop and close is therefore made inside one
// section; reading or writing a running stream is not. Standard error is
// quieted for the section, so two quietings never overlap. Sections nest on
// one thread.
class PortAudioSection {
public:
    PortAudioSection()
        : lock_(mutex()) {}

    // Keeps standard error where it belongs while held: a line that must
    // not be lost (the run's underrun total at exit) waits for a section of
    // another thread (the input capture's start, up to ~150 ms) to end.
    static std::unique_lock<std::recursive_mutex> holdStandardError() {
        return std::unique_lock(mutex());
    }

private:
    static std::recursive_mutex& mutex() {
        static std::recursive_mutex mutex;
        return mutex;
    }
    std::lock_guard<std::recursive_mutex> lock_;
    QuietStderr quiet_; // made after the lock is taken, undone before it is let go
};

} // namespace audio
