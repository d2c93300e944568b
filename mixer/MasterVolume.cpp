#include "mixer/MasterVolume.h"

#include "mixer/VolumeArithmetic.h"

using namespace mixer;

MasterVolume::MasterVolume(MixerSystem& system)
    : mixer_(system) {
    setMute(false);
    readVolumeAndBalance();
}

MasterVolume::~MasterVolume() = default;

void MasterVolume::setMute(bool mute) {
    mute_ = mute;
    mixer_.write(SystemMixer::MasterMute, {mute ? 1u : 0u, mute ? 1u : 0u});
}

int MasterVolume::volume() {
    readVolumeAndBalance();
    return volume_;
}

void MasterVolume::setVolume(int volume) {
    if (volume < 0 || volume > 100)
        return;
    volume_ = volume;
    writeVolumeAndBalance();
}

int MasterVolume::balance() {
    readVolumeAndBalance();
    return balance_;
}

void MasterVolume::setBalance(int balance) {
    if (balance < -100 || balance > 100)
        return;
    balance_ = balance;
    writeVolumeAndBalance();
}

void MasterVolume::applyStoredSettings() {
    setMute(false);
    setVolume(67);
    setBalance(0);
}

SystemMixer::Values MasterVolume::levels() const {
    const ChannelLevels levels = levelsFor(volume_, balance_);
    return {levels.left, levels.right};
}

void MasterVolume::writeVolumeAndBalance() {
    mixer_.write(SystemMixer::MasterVolume, levels());
}

void MasterVolume::readVolumeAndBalance() {
    SystemMixer::Values values{};
    if (!mixer_.read(SystemMixer::MasterVolume, values))
        return;
    const VolumeAndBalance read = volumeAndBalanceOf({values[0], values[1]});
    volume_ = read.volume;
    balance_ = read.balance;
}
