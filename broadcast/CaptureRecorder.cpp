#include "broadcast/CaptureRecorder.h"

#include "broadcast/AudioCapture.h"

#include <algorithm>
#include <cstring>

CaptureRecorder::CaptureRecorder(AudioCapture& owner)
    : BroadcastFormat(owner) {}

CaptureRecorder::~CaptureRecorder() = default;

void CaptureRecorder::setNoSamples(std::uint16_t value) {
    applyNoSamples(value);
}

void CaptureRecorder::setSplitChannels(bool value) {
    splitChannels_ = value;
    applySplitRule();
}

void CaptureRecorder::applySplitRule() {
    if (channels_ == ChannelMode::Mono)
        splitChannels_ = false;
}

void CaptureRecorder::composed(const std::string& message, const audio::Status& status) {
    Owner.errorText = message + " " + status.error();
}

bool CaptureRecorder::openDevice() {
    if (isOpen)
        return true;
    DoneIndex = 0;
    // A block size that wrapped to 0 in its 16 bits, or buffers that could
    // not be allocated, leave nothing to record into.
    if (BufferSize == 0 || !Buffers[0]) {
        Owner.errorText = "Error adding next input buffer";
        return false;
    }
    const audio::Status opened = audio::openInputCapture(
        Owner.audioDeviceID(), Format, BufferSize,
        [this](std::span<const char> block) { blockRecorded(block); }, capture_);
    if (!opened) {
        composed("Could not open the input device for recording: ", opened);
        return false;
    }
    isOpen = true;
    active = true;
    return true;
}

bool CaptureRecorder::start() {
    if (!openDevice())
        return false;
    if (const audio::Status started = capture_->start(); !started) {
        composed("Error starting wave record: ", started);
        closeDevice();
        return false;
    }
    return true;
}

bool CaptureRecorder::stop() {
    active = false;
    return closeDevice();
}

bool CaptureRecorder::closeDevice() {
    if (!isOpen) {
        Owner.errorText = "Recorder already closed";
        return true;
    }
    capture_.reset(); // stops it: no block is recorded after this
    isOpen = false;
    active = false;
    return true;
}

// Capture thread: fill the next buffer of the ring and deliver it; it is
// free again once the handler returns. Nothing here allocates, waits on the
// main thread or touches files.
void CaptureRecorder::blockRecorded(std::span<const char> block) {
    if (!active)
        return;
    char* lp = Buffers[DoneIndex];
    char* rp = RightBuffers[DoneIndex];
    const auto n = std::uint16_t(std::min<std::size_t>(block.size(), BufferSize));
    std::memcpy(lp, block.data(), n);
    if (checkTrigger(lp, n) && Owner.OnRecord) {
        if (splitChannels_) {
            splitStereo(lp, rp, n);
            Owner.OnRecord(*this, lp, rp, std::uint16_t(n / 2));
        } else {
            Owner.OnRecord(*this, lp, nullptr, n);
        }
    }
    DoneIndex = (DoneIndex + 1) % kRingSize;
}

bool CaptureRecorder::checkTrigger(const char* data, std::uint16_t n) {
    if (triggered_)
        return true;
    if (n == 0)
        return false;
    const auto level = std::int16_t(trigLevel_);
    if (bitsPerSample_ == SampleDepth::_16) {
        for (std::uint16_t i = 0; i + 1 < n; i += 2) {
            std::int16_t sample;
            std::memcpy(&sample, data + i, 2);
            if (sample >= level) {
                triggered_ = true;
                break;
            }
        }
    } else {
        for (std::uint16_t i = 0; i < n; ++i) {
            if (std::int16_t(std::uint8_t(data[i])) >= level) {
                triggered_ = true;
                break;
            }
        }
    }
    return triggered_;
}

void CaptureRecorder::splitStereo(char* lp, char* rp, std::uint16_t n) {
    if (n == 0)
        return;
    n = std::uint16_t(n / 2);
    if (bitsPerSample_ == SampleDepth::_8) {
        for (std::uint16_t i = 0; i < n; ++i) {
            lp[i] = lp[2 * i];
            rp[i] = lp[2 * i + 1];
        }
    } else {
        for (std::uint16_t i = 0; i < n / 2; ++i) {
            std::memmove(lp + 2 * i, lp + 4 * i, 2);
            std::memcpy(rp + 2 * i, lp + 4 * i + 2, 2);
        }
    }
}
