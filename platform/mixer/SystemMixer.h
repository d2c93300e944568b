#pragma once

#include "platform/mixer/Mixer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace mixer {

// The system mixer as the program uses it: the master (speakers) volume and
// mute and the microphone volume and mute, on mixer device 0, kept open for
// the object's life. A control the mixer lacks (or no mixer at all) reads as
// absent and takes no writes. Volumes run 0..kMaxVolume per channel; a mute
// is 0 or 1.
//
// With a `changed` notice, every change of one of the four controls, made by
// this program or any other, and every return of a sound server that went
// away, is reported through it from the event loop of the opening thread.
// A return is first reported through `returned`, before the controls'
// changes, so that its holder can put its own values on the new server.
class SystemMixer {
public:
    enum Control { MasterVolume, MasterMute, MicVolume, MicMute, kControlCount };
    using Values = std::array<std::uint32_t, 2>; // left, right
    using Changed = std::function<void(Control)>;
    using Returned = std::function<void()>;

    explicit SystemMixer(MixerSystem& system = defaultSystem(), Changed changed = {},
                         Returned returned = {});
    ~SystemMixer();
    SystemMixer(const SystemMixer&) = delete;
    SystemMixer& operator=(const SystemMixer&) = delete;

    bool has(Control control) const { return ids_[control] != 0; }
    // The mixer has a microphone line (with or without these controls).
    bool hasMicrophone() const { return hasMicrophone_; }
    // Both channels (a mute or mono control gives its one value twice);
    // false when the control is absent or cannot be read.
    bool read(Control control, Values& values);
    // Writes both channels as given (a mute takes the first); false when
    // absent or refused.
    bool write(Control control, const Values& values);

private:
    std::unique_ptr<Mixer> mixer_;
    std::array<std::uint32_t, kControlCount> ids_{};
    bool hasMicrophone_ = false;
};

} // namespace mixer
