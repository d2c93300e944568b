#include "mixer/MixerPanelControls.h"

#include "mixer/MicrophoneRoutines.h"

#include <QCheckBox>
#include <algorithm>

namespace {
constexpr int kMasterMax = 100;
constexpr int kMicMax = 65535;
} // namespace

MixerPanelControls::MixerPanelControls(MixerPanelWidgets widgets, mixer::MixerSystem& system)
    : widgets_(std::move(widgets))
    , system_(system)
    , ssVol1_(std::make_unique<TssVolumeController>(system)) {
    ssVol1_->ApplyStoredSettings();
}

void MixerPanelControls::StartupMicrophone() {
    try {
        SetMicMute(true, system_, dialogParent());
    } catch (...) {
        // Start-up goes on whatever the microphone does.
    }
    micMuted_ = true;
    if (widgets_.micmute)
        widgets_.micmute->setChecked(micMuted_);
    // The slider's change handler does the work. A slider that already sits
    // at the bottom does not report a change, so run the handler here then.
    const int before = micvolChanges_;
    if (widgets_.setMicvolPosition)
        widgets_.setMicvolPosition(kMicMax);
    if (micvolChanges_ == before)
        micvolChange(kMicMax);
}

void MixerPanelControls::StartupMasterVolume() {
    // The slider only shows the system volume here. Its change handler must
    // not write it back: the read truncates (67 reads as 66), so writing the
    // read value would lower the system volume by one step at every start.
    struct Placing {
        bool& flag;
        ~Placing() { flag = false; }
    } placing{placingMasterSlider_ = true};
    const int position = kMasterMax - ssVol1_->Volume();
    if (widgets_.setMastervolPosition)
        widgets_.setMastervolPosition(position);
}

void MixerPanelControls::mastervolChange(int position) {
    if (placingMasterSlider_)
        return;
    ssVol1_->SetVolume(kMasterMax - position);
}

void MixerPanelControls::micvolChange(int position) {
    ++micvolChanges_;
    if (widgets_.clearCrossFading)
        widgets_.clearCrossFading();
    const int volume = std::clamp(kMicMax - position, 0, kMicMax);
    SetMicVolume(static_cast<std::uint16_t>(volume), system_, dialogParent());
}

void MixerPanelControls::micmuteClick() {
    if (micMuted_) {
        SetMicMute(false, system_, dialogParent());
        micMuted_ = false;
    } else {
        SetMicMute(true, system_, dialogParent());
        micMuted_ = true;
    }
    if (widgets_.micmute)
        widgets_.micmute->setChecked(micMuted_);
}

QWidget* MixerPanelControls::dialogParent() const {
    return widgets_.micmute ? widgets_.micmute->window() : nullptr;
}
