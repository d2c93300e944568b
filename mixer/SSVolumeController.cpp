#include "mixer/SSVolumeController.h"

#include "mixer/VolumeArithmetic.h"

using namespace mixer;

TssVolumeController::TssVolumeController(MixerSystem& system)
    : mixer_(system) {
    SetMute(false);
    readVolumeAndBalance();
}

TssVolumeController::~TssVolumeController() = default;

void TssVolumeController::SetMute(bool mute) {
    mute_ = mute;
    mixer_.write(SystemMixer::MasterMute, {mute ? 1u : 0u, mute ? 1u : 0u});
}

int TssVolumeController::Volume() {
    readVolumeAndBalance();
    return volume_;
}

void TssVolumeController::SetVolume(int volume) {
    if (volume < 0 || volume > 100)
        return;
    volume_ = volume;
    writeVolumeAndBalance();
}

int TssVolumeController::Balance() {
    readVolumeAndBalance();
    return balance_;
}

void TssVolumeController::SetBalance(int balance) {
    if (balance < -100 || balance > 100)
        return;
    balance_ = balance;
    writeVolumeAndBalance();
}

void TssVolumeController::ApplyStoredSettings() {
    SetMute(false);
    SetVolume(67);
    SetBalance(0);
}

void TssVolumeController::writeVolumeAndBalance() {
    const ChannelLevels levels = LevelsFor(volume_, balance_);
    mixer_.write(SystemMixer::MasterVolume, {levels.left, levels.right});
}

void TssVolumeController::readVolumeAndBalance() {
    SystemMixer::Values values{};
    if (!mixer_.read(SystemMixer::MasterVolume, values))
        return;
    const VolumeAndBalance read = VolumeAndBalanceOf({values[0], values[1]});
    volume_ = read.volume;
    balance_ = read.balance;
}
