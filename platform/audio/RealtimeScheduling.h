#pragma once

#include <string>
#include <vector>

namespace audio {

// The sound output's thread asks the kernel for real-time scheduling
// (SCHED_FIFO), so that two busy cores cannot keep it from filling the
// device in time. Allowed for root, for users with a real-time limit
// (RLIMIT_RTPRIO, e.g. the audio group), and refused otherwise; the output
// works either way.
//
// RequestRealtimeScheduling is made on the output thread itself, on its first
// period: it is one system call, never allocates or prints, and records the
// outcome. ReportRealtimeRefusalOnce, from any other thread, says on standard
// error once per run that it was refused and why.
void requestRealtimeScheduling() noexcept;
void reportRealtimeRefusalOnce();

// The sound library's own threads carry the sound too: behind ALSA's default
// device, PulseAudio's client loop moves each period to the server, and a
// starved loop is a dropout however fast the callback is. ThreadIds lists this
// process's threads; RequestRealtimeSchedulingFor gives the same scheduling
// to each such loop in after that is not in before (made by the stream's open).
std::vector<int> threadIds();
void requestRealtimeSchedulingFor(const std::vector<int>& before, const std::vector<int>& after);

// "SCHED_FIFO priority N", "refused (reason)" or "not asked yet".
std::string realtimeSchedulingState();

} // namespace audio
