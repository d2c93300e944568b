#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// One external program started without a shell: its own session (no
// controlling terminal, its own process group), standard input from /dev/null,
// no other descriptors of ours, the caller's current folder and environment.
// It holds the process and a descriptor to watch it (a pidfd), and releases
// both exactly once: by reaping an ended process, or by noting a running one,
// which is then reaped without waiting at the next start or release of any
// child (or by the system once the program has ended). Nothing here waits,
// and no thread is started, except End, which is meant for shutting down.
class ChildProcess {
public:
    // Starts `program` (a path; not searched in PATH) with `arguments` (not
    // including the program name). Returns 0 and fills `child`, or the errno
    // value that explains why it could not be started.
    static int start(const std::string& program, const std::vector<std::string>& arguments,
                     ChildProcess& child);

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }

    // A descriptor that turns readable when the process has ended; -1 where the
    // kernel has no pidfd (then HasEnded has to be asked from time to time).
    int descriptor() const { return pidfd_; }

    // True once the process has ended; never waits and does not reap.
    bool hasEnded();

    // Sends `signal` to the whole process group. The unreaped leader keeps the
    // group's id from being reused, so this never reaches a stranger.
    void signalGroup(int signal) const;

    // For shutting down only: asks the group to end (SIGTERM, and SIGCONT for
    // a stopped one), waits at most `grace` for the process, then kills
    // whatever is left of the group and reaps the process.
    void end(std::chrono::milliseconds grace);

    // Releases the process: reaps it when it has ended, otherwise leaves it
    // running, to be reaped once it has ended (see above).
    void release();

private:
    void closeDescriptor();

    pid_t pid_ = 0;
    int pidfd_ = -1;
    bool ended_ = false;
};
