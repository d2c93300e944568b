#include "platform/mixer/AlsaMixer.h"
#include "platform/mixer/Mixer.h"
#include "platform/mixer/VirtualMixer.h"

#include <cstdlib>
#include <cstring>

namespace mixer {
namespace {

MixerSystem*& override() {
    static MixerSystem* system = nullptr;
    return system;
}

bool virtualAudioWanted() {
    const char* audio = std::getenv("KOLVADECK_AUDIO");
    return audio && std::strcmp(audio, "virtual") == 0;
}

} // namespace

MixerSystem& defaultSystem() {
    if (MixerSystem* system = override())
        return *system;
    if (virtualAudioWanted()) {
        static VirtualMixerSystem virtualSystem;
        static const bool declared = (declareStandardLines(virtualSystem), true);
        (void)declared;
        return virtualSystem;
    }
    static AlsaMixerSystem alsaSystem;
    return alsaSystem;
}

void setDefaultSystem(MixerSystem* system) {
    override() = system;
}

} // namespace mixer
