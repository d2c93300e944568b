#pragma once

#include "platform/mixer/SystemMixer.h"

#include <cstdint>
#include <memory>

// The system's master volume and mute (mixer::SystemMixer), offered as
// Volume 0..100, Balance -100..100 (negative is towards the left channel) and
// Mute.
//
// The mixer is opened once at construction and kept open. When there is no
// mixer, no speakers line or no such control, writes go nowhere and reads
// return the values last stored.
class MasterVolume {
public:
    explicit MasterVolume(mixer::MixerSystem& system = mixer::defaultSystem());
    ~MasterVolume();
    MasterVolume(const MasterVolume&) = delete;
    MasterVolume& operator=(const MasterVolume&) = delete;

    bool mute() const { return mute_; }
    void setMute(bool mute);

    // Reads the speakers volume afresh; refreshes both volume and balance.
    int volume();
    // A value outside 0..100 is ignored; otherwise both channels are written
    // with the stored balance.
    void setVolume(int volume);

    // Reads the speakers volume afresh; refreshes both volume and balance.
    int balance();
    // A value outside -100..100 is ignored; otherwise both channels are
    // written with the stored volume.
    void setBalance(int balance);

    // The two channel levels that the stored volume and balance make: what
    // the last write of either sent.
    mixer::SystemMixer::Values levels() const;

    // The program's stored settings, applied when the main window is built:
    // unmuted, volume 67, balance 0, in that order.
    void applyStoredSettings();

private:
    void writeVolumeAndBalance();
    void readVolumeAndBalance();

    mixer::SystemMixer mixer_;
    bool mute_ = false;
    int volume_ = 0;
    int balance_ = 0;
};
