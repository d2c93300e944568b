#include "platform/mixer/SystemMixer.h"

namespace mixer {
namespace {

std::uint32_t controlId(Mixer& mixer, LineKind line, ControlKind kind) {
    LineInfo found;
    ControlInfo control;
    if (!mixer.lineByKind(line, found, nullptr) ||
        !mixer.lineControlByKind(found.lineId, kind, control, nullptr))
        return 0;
    return control.controlId;
}

} // namespace

SystemMixer::SystemMixer(MixerSystem& system, Changed changed, Returned returned) {
    ChangeNotice notice;
    if (changed || returned) {
        // The ids are known once the mixer is open; notices come later, from
        // the event loop, so they always find them filled in.
        notice = [this, changed = std::move(changed),
                  returned = std::move(returned)](std::uint32_t, std::uint32_t controlId) {
            if (controlId == kServerReturned) {
                if (returned)
                    returned();
                return;
            }
            if (!changed)
                return;
            for (int c = 0; c < kControlCount; ++c) {
                if (ids_[c] != 0 && ids_[c] == controlId)
                    changed(static_cast<Control>(c));
            }
        };
    }
    if (!system.open(0, std::move(notice), mixer_, nullptr)) {
        mixer_.reset();
        return;
    }
    LineInfo microphone;
    hasMicrophone_ = mixer_->lineByKind(LineKind::Microphone, microphone, nullptr);
    ids_[MasterVolume] = controlId(*mixer_, LineKind::Speakers, ControlKind::Volume);
    ids_[MasterMute] = controlId(*mixer_, LineKind::Speakers, ControlKind::Mute);
    ids_[MicVolume] = controlId(*mixer_, LineKind::Microphone, ControlKind::Volume);
    ids_[MicMute] = controlId(*mixer_, LineKind::Microphone, ControlKind::Mute);
}

SystemMixer::~SystemMixer() = default;

bool SystemMixer::read(Control control, Values& values) {
    return has(control) && mixer_->controlDetails(ids_[control], values, nullptr);
}

bool SystemMixer::write(Control control, const Values& values) {
    const bool mute = control == MasterMute || control == MicMute;
    const std::span<const std::uint32_t> span(values.data(), mute ? 1 : 2);
    return has(control) && mixer_->setControlDetails(ids_[control], span, nullptr);
}

} // namespace mixer
