#include "platform/audio/UnderrunLog.h"

#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"

#include <cstdio>

namespace audio {

UnderrunLog::UnderrunLog(bool verbose) {
    if (!verbose)
        return;
    connect(&timer_, &QTimer::timeout, this, [this] { Check(); });
    timer_.start(1000);
}

UnderrunLog::~UnderrunLog() {
    std::fprintf(stderr, "kolvadeck: sound output underruns: %llu\n",
                 static_cast<unsigned long long>(UnderrunCount()));
}

void UnderrunLog::Check() {
    const std::string state = RealtimeSchedulingState();
    if (!stateShown_ && state != "not asked yet") {
        stateShown_ = true;
        std::fprintf(stderr, "kolvadeck: sound output thread: %s\n", state.c_str());
    }
    const std::uint64_t count = UnderrunCount();
    if (count != shown_) {
        shown_ = count;
        std::fprintf(stderr, "kolvadeck: sound output underruns: %llu\n",
                     static_cast<unsigned long long>(count));
    }
}

} // namespace audio
