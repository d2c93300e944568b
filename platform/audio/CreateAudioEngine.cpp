#include "platform/audio/AudioEngine.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/VirtualSoundCard.h"

#include <cstdlib>
#include <cstring>

namespace audio {

std::unique_ptr<AudioEngine> createAudioEngine() {
    const char* choice = std::getenv("KOLVADECK_AUDIO");
    if (choice && std::strcmp(choice, "virtual") == 0)
        return std::make_unique<VirtualSoundCard>();
    if (choice && std::strcmp(choice, "silent") == 0)
        return std::make_unique<RealtimeAudioEngine>(
            RealtimeAudioEngine::OutputChoice::SilentClock);
    const bool alsaOnly = choice && std::strcmp(choice, "alsa") == 0;
    return std::make_unique<RealtimeAudioEngine>(
        RealtimeAudioEngine::OutputChoice::DeviceOnRequest,
        alsaOnly ? RealtimeAudioEngine::DeviceChoice::PortAudioOnly
                 : RealtimeAudioEngine::DeviceChoice::ServerFirst);
}

} // namespace audio
