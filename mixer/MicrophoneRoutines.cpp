#include "mixer/MicrophoneRoutines.h"

#include "platform/Dialogs.h"
#include "platform/mixer/SystemMixer.h"

using namespace mixer;

namespace {

void setMicrophoneControl(SystemMixer::Control control, std::uint32_t value, MixerSystem& system,
                          QWidget* parent) {
    SystemMixer mixer(system);
    if (!mixer.hasMicrophone())
        return;
    if (!mixer.has(control)) {
        dialogs::showMessage(QStringLiteral("GetLineInfo Error"), parent);
        return;
    }
    if (!mixer.write(control, {value, value}))
        dialogs::showMessage(QStringLiteral("SetControlDetails Error"), parent);
}

} // namespace

void setMicVolume(std::uint16_t value, MixerSystem& system, QWidget* parent) {
    setMicrophoneControl(SystemMixer::MicVolume, value, system, parent);
}

void setMicMute(bool muted, MixerSystem& system, QWidget* parent) {
    setMicrophoneControl(SystemMixer::MicMute, muted ? 1 : 0, system, parent);
}
