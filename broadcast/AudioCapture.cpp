#include "broadcast/AudioCapture.h"

AudioCapture::AudioCapture(mixer::MixerSystem& mixers) {
    recorder_ = std::make_unique<CaptureRecorder>(*this);
    mixerSettings_ = std::make_unique<MixerLineList>(mixers);
    SetMixerDeviceID(0);
    ErrorText.clear();
    if (audio::InputDeviceCount() >= 1)
        recorder_->AllocBuffers();
}

AudioCapture::~AudioCapture() {
    mixerSettings_.reset();
    // An open recorder is closed before its buffers go: the device writes into them.
    if (recorder_->IsOpen)
        recorder_->Stop();
    recorder_.reset();
}

void AudioCapture::SetAudioDeviceID(int value) {
    if (value == audioDeviceID_)
        return;
    audioDeviceID_ = value > 9 ? audio::InputCapture::kDefaultDevice : value;
    recorder_->Reallocate();
}

void AudioCapture::SetMixerDeviceID(int value) {
    if (value == mixerDeviceID_)
        return;
    mixerDeviceID_ = value;
    if (mixerSettings_->Enumerate(value))
        mixerSettings_->SetOk(true);
}
