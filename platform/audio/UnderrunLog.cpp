#include "platform/audio/UnderrunLog.h"

#include "platform/audio/AudioLog.h"
#include "platform/audio/PortAudioSection.h"
#include "platform/audio/RealtimeScheduling.h"
#include "platform/audio/UnderrunCount.h"

#include <string>

namespace audio {

UnderrunLog::UnderrunLog(bool verbose) {
    if (!verbose)
        return;
    // Verbose shows the sound output's info lines (QT_LOGGING_RULES still wins).
    QLoggingCategory::setFilterRules(QStringLiteral("kolvadeck.audio.info=true"));
    connect(&timer_, &QTimer::timeout, this, [this] { check(); });
    timer_.start(1000);
}

// The run's count is always in the log at exit, clean or not: it is how a
// DJ checks a night's playback for dropouts afterwards.
UnderrunLog::~UnderrunLog() {
    const auto held = PortAudioSection::holdStandardError(); // wait-ok: exit, bounded
    qCWarning(lcAudio, "sound output underruns: %llu",
              static_cast<unsigned long long>(underrunCount()));
}

void UnderrunLog::check() {
    const std::string state = realtimeSchedulingState();
    if (!stateShown_ && state != "not asked yet") {
        stateShown_ = true;
        qCInfo(lcAudio, "sound output thread: %s", state.c_str());
    }
    const std::uint64_t count = underrunCount();
    if (count != shown_) {
        shown_ = count;
        qCInfo(lcAudio, "sound output underruns: %llu", static_cast<unsigned long long>(count));
    }
}

} // namespace audio
