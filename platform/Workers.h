#pragma once

#include <chrono>
#include <functional>

// The program's one owner of worker threads. Work that must not run on the
// window's thread (a download, a blocking device read, a file write) runs on
// a thread of this pool; its result goes back to the window's thread through
// a CallInbox (platform/CallInbox.h).
// Threads start as needed, up to kMaxThreads (work beyond waits its turn),
// and end after half a minute idle. Nothing is ever detached: as the process
// exits (after main has returned and the window with its tasks is gone, so
// that their work sees itself cancelled) JoinWorkers waits for every thread,
// with a bound of kExitBound.
namespace workers {

inline constexpr int kMaxThreads = 64;
inline constexpr std::chrono::milliseconds kExitBound{5000};

// Runs work on a worker thread; from any thread.
void run(std::function<void()> work);

// Drops work that has not started yet and waits at most `bound` for what
// runs; true when every worker has ended. Threads still running after a
// false answer are left to the end of the process (a sound library stuck
// for good), and the pool stays for them. Called at the process's exit;
// tests call it to see every worker end.
bool joinWorkers(std::chrono::milliseconds bound);

} // namespace workers
