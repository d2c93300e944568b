#include "convert/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

extern char** environ;

namespace {
// Called directly: glibc 2.36 declares pidfd_open without C linkage for C++.
int openPidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// posix_spawn's helpers return an error number; the first one that fails wins.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    int error = 0;

    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        check(posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
        // Only the standard streams reach the tool.
        check(posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1));
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGQUIT})
            sigaddset(&defaults, signal);
        check(posix_spawnattr_setsigmask(&attributes, &none));
        check(posix_spawnattr_setsigdefault(&attributes, &defaults));
        check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETSIGDEF));
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    void check(int result) {
        if (error == 0)
            error = result;
    }
};
// Processes released while still running: each is reaped, without waiting,
// at the next start or release of any child; those left when the program
// ends are reaped by the system.
std::mutex releasedMutex;
std::vector<pid_t> released;

void reapReleased() {
    std::lock_guard lock(releasedMutex);
    std::erase_if(released, [](pid_t pid) {
        int status = 0;
        pid_t result;
        while ((result = waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        return result != 0; // reaped, or no longer ours to reap
    });
}
} // namespace

int ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                        ChildProcess& child) {
    reapReleased();
    SpawnSetup setup;
    if (setup.error != 0)
        return setup.error;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // glibc reports a failed exec (missing file, no permission) as the result.
    const int error =
        posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    if (error != 0)
        return error;
    child.pid_ = pid;
    child.ended_ = false;
    // The process cannot be reaped before we wait for it, so its id is still ours.
    child.pidfd_ = openPidfd(pid);
    return 0;
}

ChildProcess::~ChildProcess() {
    release();
}

bool ChildProcess::hasEnded() {
    if (!started() || ended_)
        return true;
    if (pidfd_ >= 0) {
        pollfd ready{pidfd_, POLLIN, 0};
        ended_ = poll(&ready, 1, 0) > 0;
        return ended_;
    }
    siginfo_t info{};
    ended_ = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid_;
    return ended_;
}

void ChildProcess::signalGroup(int signal) const {
    if (started())
        ::kill(-pid_, signal);
}

void ChildProcess::end(std::chrono::milliseconds grace) {
    if (!started())
        return;
    signalGroup(SIGTERM);
    signalGroup(SIGCONT);
    // Bounded by `grace`; without a pidfd the group is killed at once.
    if (pidfd_ >= 0 && !ended_) {
        pollfd ready{pidfd_, POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + grace;
        for (auto left = grace; left.count() > 0;) {
            if (poll(&ready, 1, static_cast<int>(left.count())) >= 0 || errno != EINTR)
                break;
            left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
        }
    }
    signalGroup(SIGKILL);
    ended_ = true;
    release();
}

void ChildProcess::release() {
    if (!started())
        return;
    closeDescriptor();
    const pid_t pid = pid_;
    pid_ = 0;
    if (ended_) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        std::lock_guard lock(releasedMutex);
        released.push_back(pid);
    }
    reapReleased();
}

void ChildProcess::closeDescriptor() {
    if (pidfd_ >= 0)
        ::close(pidfd_);
    pidfd_ = -1;
}
