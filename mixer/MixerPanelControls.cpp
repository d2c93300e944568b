#include "mixer/MixerPanelControls.h"

#include "mixer/MicrophoneRoutines.h"
#include "mixer/MixerLog.h"
#include "platform/Guarded.h"

#include <QCheckBox>
#include <algorithm>
#include <cstdlib>

namespace {
constexpr int kMasterMax = 100;
constexpr int kMicMax = 65535;
// A microphone volume within half a percent of the slider's is what the
// slider shows already: a written value reads back a step off after the
// device's own scale, and following that would make the slider twitch.
constexpr int kMicShownTolerance = kMicMax / 200;

// The master volume 0..100 nearest to the louder channel. Rounded, unlike
// masterVolume's truncating read, so that a whole percent set elsewhere (30 % is
// 19661 of 65536) shows as that percent.
int nearestPercent(const mixer::SystemMixer::Values& values) {
    const int loudest = static_cast<int>(std::max(values[0], values[1]));
    return (loudest * kMasterMax + kMicMax / 2) / kMicMax;
}

} // namespace

MixerPanelControls::MixerPanelControls(MixerPanelWidgets widgets, mixer::MixerSystem& system)
    : widgets_(std::move(widgets))
    , system_(system)
    , systemMixer_(std::make_unique<mixer::SystemMixer>(
          system, [this](mixer::SystemMixer::Control control) { systemChanged(control); },
          [this] { serverReturned(); }))
    , found_(std::make_unique<FoundMixerValues>(*systemMixer_))
    , masterVolume_(std::make_unique<MasterVolume>(system)) {
    masterVolume_->applyStoredSettings();
    noteSession(mixer::SystemMixer::MasterMute, {0, 0});
    noteSession(mixer::SystemMixer::MasterVolume, masterVolume_->levels());
}

void MixerPanelControls::startupMicrophone() {
    try {
        setMicMute(true, system_, dialogParent());
    } catch (...) {
        // Start-up goes on whatever the microphone does.
        logCaughtException(lcMixer, "muting the microphone at start-up");
    }
    micMuted_ = true;
    noteSession(mixer::SystemMixer::MicMute, {1, 1});
    if (widgets_.micMute)
        widgets_.micMute->setChecked(micMuted_);
    placeMicSlider(kMicMax);
    writeMicVolume(micLevelPosition_);
}

// The slider only shows the system volume here; nothing writes it back: the
// read truncates (67 reads as 66), so writing the read value would lower the
// system volume by one step at every start.
void MixerPanelControls::startupMasterVolume() {
    placeMasterSlider(kMasterMax - masterVolume_->volume());
}

void MixerPanelControls::setMasterVolume(int position) {
    masterLevelPosition_ = position;
    found_->userSet(mixer::SystemMixer::MasterVolume);
    masterVolume_->setVolume(kMasterMax - position);
    noteSession(mixer::SystemMixer::MasterVolume, masterVolume_->levels());
}

void MixerPanelControls::setMicVolume(int position) {
    micLevelPosition_ = position;
    found_->userSet(mixer::SystemMixer::MicVolume);
    writeMicVolume(position);
}

void MixerPanelControls::writeMicVolume(int position) {
    if (widgets_.clearCrossFading)
        widgets_.clearCrossFading();
    const int volume = std::clamp(kMicMax - position, 0, kMicMax);
    noteSession(mixer::SystemMixer::MicVolume,
                {static_cast<std::uint32_t>(volume), static_cast<std::uint32_t>(volume)});
    ::setMicVolume(static_cast<std::uint16_t>(volume), system_, dialogParent());
}

void MixerPanelControls::applyMicMute() {
    found_->userSet(mixer::SystemMixer::MicMute);
    if (micMuted_) {
        setMicMute(false, system_, dialogParent());
        micMuted_ = false;
    } else {
        setMicMute(true, system_, dialogParent());
        micMuted_ = true;
    }
    noteSession(mixer::SystemMixer::MicMute, {micMuted_ ? 1u : 0u, micMuted_ ? 1u : 0u});
    if (widgets_.micMute)
        widgets_.micMute->setChecked(micMuted_);
}

void MixerPanelControls::restoreSystemMixer() {
    found_->restore(*systemMixer_);
}

void MixerPanelControls::systemChanged(mixer::SystemMixer::Control control) {
    mixer::SystemMixer::Values values{};
    if (!systemMixer_->read(control, values))
        return;
    noteSession(control, values);
    switch (control) {
    case mixer::SystemMixer::MasterVolume:
        if (const int position = kMasterMax - nearestPercent(values);
            position != masterLevelPosition_)
            placeMasterSlider(position);
        break;
    case mixer::SystemMixer::MicVolume:
        if (const int volume = static_cast<int>(std::max(values[0], values[1]));
            std::abs(volume - (kMicMax - micLevelPosition_)) > kMicShownTolerance)
            placeMicSlider(kMicMax - volume);
        break;
    case mixer::SystemMixer::MicMute:
        micMuted_ = values[0] != 0;
        if (widgets_.micMute)
            widgets_.micMute->setChecked(micMuted_);
        break;
    default:
        break;
    }
}

// The microphone is muted first: the new server's own default is a live one.
void MixerPanelControls::serverReturned() {
    using Control = mixer::SystemMixer::Control;
    for (const Control control :
         {Control::MicMute, Control::MicVolume, Control::MasterMute, Control::MasterVolume}) {
        if (session_[control] && !systemMixer_->write(control, *session_[control]))
            qCWarning(lcMixer,
                      "the sound server came back and refused the session's value of "
                      "mixer control %d",
                      static_cast<int>(control));
    }
    qCInfo(lcMixer, "the sound server came back: the session's mixer values are set on it");
}

void MixerPanelControls::placeMasterSlider(int position) {
    masterLevelPosition_ =
        widgets_.setMastervolPosition ? widgets_.setMastervolPosition(position) : position;
}

void MixerPanelControls::placeMicSlider(int position) {
    micLevelPosition_ =
        widgets_.setMicvolPosition ? widgets_.setMicvolPosition(position) : position;
}

QWidget* MixerPanelControls::dialogParent() const {
    return widgets_.micMute ? widgets_.micMute->window() : nullptr;
}
