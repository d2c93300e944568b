#include "mixer/MicrophoneRoutines.h"

#include "platform/Dialogs.h"
#include "platform/mixer/SystemMixer.h"

using namespace mixer;

namespace {

void SetMicrophoneControl(SystemMixer::Control control, std::uint32_t value, MixerSystem& system,
                          QWidget* parent) {
    SystemMixer mixer(system);
    if (!mixer.hasMicrophone())
        return;
    if (!mixer.has(control)) {
        dialogs::ShowMessage(QStringLiteral("GetLineInfo Error"), parent);
        return;
    }
    if (!mixer.write(control, {value, value}))
        dialogs::ShowMessage(QStringLiteral("SetControlDetails Error"), parent);
}

} // namespace

void SetMicVolume(std::uint16_t value, MixerSystem& system, QWidget* parent) {
    SetMicrophoneControl(SystemMixer::MicVolume, value, system, parent);
}

void SetMicMute(bool muted, MixerSystem& system, QWidget* parent) {
    SetMicrophoneControl(SystemMixer::MicMute, muted ? 1 : 0, system, parent);
}
