#pragma once

// A private Xvfb display for the benchmarks that measure drawing and windows
// on a real X server (the xcb platform), whatever display the caller has.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace benchsupport {

class PrivateXvfb {
public:
    // Starts Xvfb; its display number comes back through -displayfd.
    PrivateXvfb() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                              "1280x1024x24", "-nolisten",  "tcp",      nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&server_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0)
            server_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        char number[16] = {};
        pollfd p{fds[0], POLLIN, 0};
        if (server_ > 0 && ::poll(&p, 1, 20000) == 1 && ::read(fds[0], number, 15) > 0)
            display_ = ":" + std::to_string(std::atoi(number));
        ::close(fds[0]);
    }
    ~PrivateXvfb() {
        if (server_ <= 0)
            return;
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;

    // ":N", or empty when Xvfb did not start.
    const std::string& display() const { return display_; }

private:
    pid_t server_ = -1;
    std::string display_;
};

} // namespace benchsupport
