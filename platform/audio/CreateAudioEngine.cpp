#include "platform/audio/AudioEngine.h"
#include "platform/audio/RealtimeAudioEngine.h"
#include "platform/audio/VirtualSoundCard.h"

#include <cstdlib>
#include <cstring>

namespace audio {

std::unique_ptr<AudioEngine> CreateAudioEngine() {
    const char* choice = std::getenv("KOLVADECK_AUDIO");
    if (choice && std::strcmp(choice, "virtual") == 0)
        return std::make_unique<VirtualSoundCard>();
    if (choice && std::strcmp(choice, "silent") == 0)
        return std::make_unique<RealtimeAudioEngine>(
            RealtimeAudioEngine::OutputChoice::SilentClock);
    return std::make_unique<RealtimeAudioEngine>(
        RealtimeAudioEngine::OutputChoice::DeviceOnRequest);
}

} // namespace audio
