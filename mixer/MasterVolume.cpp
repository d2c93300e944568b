#include "mixer/MasterVolume.h"

#include "mixer/VolumeArithmetic.h"

using namespace mixer;

MasterVolume::MasterVolume(MixerSystem& system)
    : mixer_(system) {
    SetMute(false);
    readVolumeAndBalance();
}

MasterVolume::~MasterVolume() = default;

void MasterVolume::SetMute(bool mute) {
    mute_ = mute;
    mixer_.write(SystemMixer::MasterMute, {mute ? 1u : 0u, mute ? 1u : 0u});
}

int MasterVolume::Volume() {
    readVolumeAndBalance();
    return volume_;
}

void MasterVolume::SetVolume(int volume) {
    if (volume < 0 || volume > 100)
        return;
    volume_ = volume;
    writeVolumeAndBalance();
}

int MasterVolume::Balance() {
    readVolumeAndBalance();
    return balance_;
}

void MasterVolume::SetBalance(int balance) {
    if (balance < -100 || balance > 100)
        return;
    balance_ = balance;
    writeVolumeAndBalance();
}

void MasterVolume::ApplyStoredSettings() {
    SetMute(false);
    SetVolume(67);
    SetBalance(0);
}

SystemMixer::Values MasterVolume::Levels() const {
    const ChannelLevels levels = LevelsFor(volume_, balance_);
    return {levels.left, levels.right};
}

void MasterVolume::writeVolumeAndBalance() {
    mixer_.write(SystemMixer::MasterVolume, Levels());
}

void MasterVolume::readVolumeAndBalance() {
    SystemMixer::Values values{};
    if (!mixer_.read(SystemMixer::MasterVolume, values))
        return;
    const VolumeAndBalance read = VolumeAndBalanceOf({values[0], values[1]});
    volume_ = read.volume;
    balance_ = read.balance;
}
