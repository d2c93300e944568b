#include "mixer/InputLevel.h"

#include <cstdint>
#include <cstring>

float BufferPeakLevel(const char* buffer, int size) {
    const int samples = size / 2;
    int peak = 0;
    for (int i = 0; i < samples; ++i) {
        std::int16_t s;
        std::memcpy(&s, buffer + 2 * i, sizeof s);
        peak = s > peak ? s : peak;
    }
    // The program's scale divides by 44100, not 32768: full scale reads ~0.743.
    return float(peak) / 44100.0f;
}

InputLevel::InputLevel(TFBVUMeter* vumeterleft, QObject* owner)
    : QObject(owner)
    , vumeterleft_(vumeterleft) {}

bool InputLevel::Start() {
    try {
        return StartCapture();
    } catch (...) {
        return false; // the program runs on without level metering
    }
}

bool InputLevel::StartCapture() {
    if (!audioIn1_) {
        audioIn1_ = new TAudioInMM(this);
        audioIn1_->SetWaveDevice(wavein::WAVE_MAPPER);
        audioIn1_->SetNumBuffers(1);
        audioIn1_->SetFrameRate(44100);
        audioIn1_->SetStereo(true);
        audioIn1_->OnBufferFilled = [this](char* buffer, int& size) {
            return AudioIn1BufferFilled(buffer, size);
        };
    }
    return audioIn1_->StartCapture();
}

bool InputLevel::AudioIn1BufferFilled(char* Buffer, int& Size) {
    if (Size <= 0 || !Buffer)
        return true;
    if (vumeterleft_)
        vumeterleft_->SetLevels(BufferPeakLevel(Buffer, Size), 0.0f);
    return true;
}

void InputLevel::StopWhenDrained() {
    if (audioIn1_)
        audioIn1_->StopWhenDrained();
}
