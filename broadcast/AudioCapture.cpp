#include "broadcast/AudioCapture.h"

AudioCapture::AudioCapture(mixer::MixerSystem& mixers) {
    recorder_ = std::make_unique<CaptureRecorder>(*this);
    player_ = std::make_unique<OutputFormat>(*this);
    mixerSettings_ = std::make_unique<MixerLineList>(mixers);
    mixerSettings_->OnMixerChange = [this](MixerLineList& sender, std::uint16_t destination,
                                           std::uint16_t source) {
        if (OnMixerChange)
            OnMixerChange(sender, destination, source);
    };
    SetMixerDeviceID(0);
    ErrorText.clear();
    // The player mirrors the format only; there is no output device to ask for.
    if (audio::InputDeviceCount() >= 1 && recorder_->AllocBuffers())
        player_->AllocBuffers();
}

AudioCapture::~AudioCapture() {
    mixerSettings_.reset();
    // An open recorder is closed before its buffers go: the device writes into them.
    if (recorder_->IsOpen)
        recorder_->Stop();
    recorder_.reset();
    player_.reset();
}

void AudioCapture::SetAudioDeviceID(int value) {
    if (value == audioDeviceID_)
        return;
    audioDeviceID_ = value > 9 ? audio::InputCapture::kDefaultDevice : value;
    recorder_->Reallocate();
    player_->Reallocate();
}

void AudioCapture::SetMixerDeviceID(int value) {
    if (value == mixerDeviceID_)
        return;
    mixerDeviceID_ = value;
    if (mixerSettings_->Enumerate(value))
        mixerSettings_->SetOk(true);
}

void AudioCapture::SetFormat(BroadcastFormat& target,
                             const std::function<void(BroadcastFormat&)>& apply) {
    if (separateCtrls_) {
        apply(target);
    } else {
        apply(*player_);
        apply(*recorder_);
    }
    recorder_->ApplySplitRule();
}
