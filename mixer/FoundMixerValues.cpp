#include "mixer/FoundMixerValues.h"

FoundMixerValues::FoundMixerValues(mixer::SystemMixer& lines) {
    for (int c = 0; c < mixer::SystemMixer::kControlCount; ++c) {
        mixer::SystemMixer::Values values{};
        if (lines.read(static_cast<mixer::SystemMixer::Control>(c), values))
            found_[c] = values;
    }
}

void FoundMixerValues::restore(mixer::SystemMixer& lines) {
    if (restored_)
        return;
    restored_ = true;
    for (int c = 0; c < mixer::SystemMixer::kControlCount; ++c) {
        if (found_[c] && !userSet_[c])
            lines.write(static_cast<mixer::SystemMixer::Control>(c), *found_[c]);
    }
}
