#include "mixer/SSVolumeController.h"

#include "mixer/VolumeArithmetic.h"

#include <array>

using namespace mixer;

TssVolumeController::TssVolumeController(MixerSystem& system) {
    if (system.open(0, {}, mixer_) != Result::Ok)
        mixer_.reset();
    LineInfo speakers;
    std::vector<ControlInfo> controls;
    if (mixer_ &&
        mixer_->lineByComponentType(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, speakers) == Result::Ok &&
        mixer_->lineControls(speakers.lineId, controls) == Result::Ok) {
        // Scanned from the last to the first, so where a line has several
        // controls of one type the first listed wins.
        for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
            if (it->controlType == MIXERCONTROL_CONTROLTYPE_VOLUME) {
                volumeControlId_ = it->controlId;
                hasVolumeControl_ = true;
            } else if (it->controlType == MIXERCONTROL_CONTROLTYPE_MUTE) {
                muteControlId_ = it->controlId;
                hasMuteControl_ = true;
            }
        }
    }
    SetMute(false);
    readVolumeAndBalance();
}

TssVolumeController::~TssVolumeController() = default;

void TssVolumeController::SetMute(bool mute) {
    mute_ = mute;
    if (!mixer_ || !hasMuteControl_)
        return;
    const std::array<std::uint32_t, 1> value{mute ? 1u : 0u};
    mixer_->setControlDetails(muteControlId_, value);
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
    if (!mixer_ || !hasVolumeControl_)
        return;
    const ChannelLevels levels = LevelsFor(volume_, balance_);
    const std::array<std::uint32_t, 2> values{levels.left, levels.right};
    mixer_->setControlDetails(volumeControlId_, values);
}

void TssVolumeController::readVolumeAndBalance() {
    if (!mixer_ || !hasVolumeControl_)
        return;
    std::array<std::uint32_t, 2> values{};
    if (mixer_->controlDetails(volumeControlId_, values) != Result::Ok)
        return;
    const VolumeAndBalance read = VolumeAndBalanceOf({values[0], values[1]});
    volume_ = read.volume;
    balance_ = read.balance;
}
