#include "platform/audio/RealtimeScheduling.h"

#include "platform/audio/AudioLog.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace audio {

namespace {

// High enough to run before any ordinary thread, low enough to leave the
// sound server (PulseAudio asks 5, PipeWire up to 20 through rtkit) and the
// kernel's own real-time threads room above the interactive range.
constexpr int kPriority = 10;
constexpr int kNotAsked = -1;

std::atomic<int> gOutcome{kNotAsked}; // 0 granted, else the errno
std::atomic<int> gPriority{0};
std::atomic<bool> gReported{false};

// Without root a user may go up to the real-time limit, not beyond.
int allowedPriority() noexcept {
    rlimit limit{};
    if (::geteuid() != 0 && ::getrlimit(RLIMIT_RTPRIO, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur > 0)
        return std::min<int>(kPriority, static_cast<int>(limit.rlim_cur));
    return kPriority;
}

} // namespace

void requestRealtimeScheduling() noexcept {
    const int priority = allowedPriority();
    sched_param param{};
    param.sched_priority = priority;
    const int error = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
    gPriority.store(priority, std::memory_order_relaxed);
    gOutcome.store(error, std::memory_order_release);
}

std::vector<int> threadIds() {
    std::vector<int> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error))
        ids.push_back(std::atoi(entry.path().filename().c_str()));
    std::sort(ids.begin(), ids.end());
    return ids;
}

void requestRealtimeSchedulingFor(const std::vector<int>& before, const std::vector<int>& after) {
    sched_param param{};
    param.sched_priority = allowedPriority();
    for (int id : after) {
        if (std::binary_search(before.begin(), before.end(), id))
            continue;
        // Only libpulse's client loop: a thread of the program's own that
        // happened to start meanwhile must not run real-time. (PipeWire's
        // own ALSA plugin makes its data thread real-time itself.)
        std::ifstream comm("/proc/self/task/" + std::to_string(id) + "/comm");
        std::string name;
        if (std::getline(comm, name) && name == "threaded-ml")
            ::sched_setscheduler(id, SCHED_FIFO, &param); // refused as the output thread is
    }
}

void reportRealtimeRefusalOnce() {
    const int outcome = gOutcome.load(std::memory_order_acquire);
    if (outcome <= 0 || gReported.exchange(true))
        return;
    qCWarning(lcAudio,
              "the sound output runs without real-time scheduling (%s); "
              "it may drop out while the machine is busy",
              std::strerror(outcome));
}

std::string realtimeSchedulingState() {
    const int outcome = gOutcome.load(std::memory_order_acquire);
    if (outcome == kNotAsked)
        return "not asked yet";
    if (outcome == 0)
        return "SCHED_FIFO priority " + std::to_string(gPriority.load(std::memory_order_relaxed));
    return std::string("refused (") + std::strerror(outcome) + ")";
}

} // namespace audio
