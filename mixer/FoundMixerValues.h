#pragma once

#include "platform/mixer/SystemMixer.h"

#include <array>
#include <optional>

// The system mixer as the program found it, so that exit can leave it so:
// start-up unmutes the speakers, sets them to the stored volume and mutes the
// microphone at volume 0. restore() writes back every control found, except
// the ones the user set in the program during the run: their choice stays.
//
// A crash or SIGKILL cannot restore; the values are lost with the process.
class FoundMixerValues {
public:
    // Reads the controls now (before start-up changes them).
    explicit FoundMixerValues(mixer::SystemMixer& lines);

    void userSet(mixer::SystemMixer::Control control) { userSet_[control] = true; }
    bool wasUserSet(mixer::SystemMixer::Control control) const { return userSet_[control]; }

    // Writes the found values back; runs once, later calls do nothing.
    void restore(mixer::SystemMixer& lines);

private:
    std::array<std::optional<mixer::SystemMixer::Values>, mixer::SystemMixer::kControlCount> found_;
    std::array<bool, mixer::SystemMixer::kControlCount> userSet_{};
    bool restored_ = false;
};
