#include "platform/mixer/AlsaMixer.h"
#include "platform/mixer/Mixer.h"
#include "platform/mixer/VirtualMixer.h"

#include <cstdlib>
#include <cstring>

namespace mixer {
namespace {

MixerSystem*& Override() {
    static MixerSystem* system = nullptr;
    return system;
}

bool VirtualAudioWanted() {
    const char* audio = std::getenv("KOLVADECK_AUDIO");
    return audio && std::strcmp(audio, "virtual") == 0;
}

} // namespace

MixerSystem& DefaultSystem() {
    if (MixerSystem* system = Override())
        return *system;
    if (VirtualAudioWanted()) {
        static VirtualMixerSystem virtualSystem;
        static const bool declared = (DeclareStandardLines(virtualSystem), true);
        (void)declared;
        return virtualSystem;
    }
    static AlsaMixerSystem alsaSystem;
    return alsaSystem;
}

void SetDefaultSystem(MixerSystem* system) {
    Override() = system;
}

} // namespace mixer
