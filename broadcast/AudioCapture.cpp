#include "broadcast/AudioCapture.h"

AudioCapture::AudioCapture(mixer::MixerSystem& mixers) {
    recorder_ = std::make_unique<CaptureRecorder>(*this);
    mixerSettings_ = std::make_unique<MixerLineList>(mixers);
    setMixerDeviceID(0);
    errorText.clear();
    if (audio::inputDeviceCount() >= 1)
        recorder_->allocBuffers();
}

AudioCapture::~AudioCapture() {
    mixerSettings_.reset();
    // An open recorder is closed before its buffers go: the device writes into them.
    if (recorder_->isOpen)
        recorder_->stop();
    recorder_.reset();
}

void AudioCapture::setAudioDeviceID(int value) {
    if (value == audioDeviceID_)
        return;
    audioDeviceID_ = value > 9 ? audio::InputCapture::kDefaultDevice : value;
    recorder_->reallocate();
}

void AudioCapture::setMixerDeviceID(int value) {
    if (value == mixerDeviceID_)
        return;
    mixerDeviceID_ = value;
    if (mixerSettings_->enumerate(value))
        mixerSettings_->setOk(true);
}
