#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// One external program started without a shell: its own session (no
// controlling terminal, its own process group), standard input from /dev/null,
// no other descriptors of ours, the caller's current folder and environment.
// It holds the process and a descriptor to wait on it (a pidfd), and releases
// both exactly once: by reaping an ended process, or by handing a running one
// to a background reaper so that it leaves no zombie.
class ChildProcess {
public:
    // Starts `program` (a path; not searched in PATH) with `arguments` (not
    // including the program name). Returns 0 and fills `child`, or the errno
    // value that explains why it could not be started.
    static int Start(const std::string& program, const std::vector<std::string>& arguments,
                     ChildProcess& child);

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

    // Waits at most `slice` for the process to end; true once it has ended.
    bool WaitFor(std::chrono::milliseconds slice);

    // Asks the whole process group to end (SIGTERM, and SIGCONT for a stopped
    // one), gives it `grace` to do so, then kills whatever is left of the group
    // and reaps the process.
    void End(std::chrono::milliseconds grace);

    // Releases the process: reaps it when it has ended, otherwise leaves it
    // running and reaps it in the background when it ends by itself.
    void Release();

private:
    void CloseDescriptor();

    pid_t pid_ = 0;
    int pidfd_ = -1;
    bool ended_ = false;
};
