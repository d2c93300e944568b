#include "broadcast/AudioSettings.h"

#include "broadcast/Audio.h"

#include <new>

TAudioSettings::TAudioSettings(TAudio& owner)
    : Owner(owner) {}

TAudioSettings::~TAudioSettings() {
    FreeBuffers();
}

void TAudioSettings::SetChannels(TChannels value) {
    Owner.SetFormat(*this, [value](TAudioSettings& s) { s.ApplyChannels(value); });
}

void TAudioSettings::SetBitsPerSample(TBPS value) {
    Owner.SetFormat(*this, [value](TAudioSettings& s) { s.ApplyBitsPerSample(value); });
}

void TAudioSettings::SetSampleRate(std::uint16_t value) {
    Owner.SetFormat(*this, [value](TAudioSettings& s) { s.ApplySampleRate(value); });
}

void TAudioSettings::ApplyChannels(TChannels value) {
    StoreAndReallocate(channels_, value);
}

void TAudioSettings::ApplyBitsPerSample(TBPS value) {
    StoreAndReallocate(bitsPerSample_, value);
}

void TAudioSettings::ApplySampleRate(std::uint16_t value) {
    StoreAndReallocate(sampleRate_, value);
}

void TAudioSettings::ApplyNoSamples(std::uint16_t value) {
    StoreAndReallocate(noSamples_, value);
}

void TAudioSettings::Reallocate() {
    FreeBuffers();
    AllocBuffers();
}

bool TAudioSettings::AllocBuffers() {
    Format.channels = channels_ == TChannels::Mono ? 1 : 2;
    Format.rate = sampleRate_;
    Format.sampleType =
        bitsPerSample_ == TBPS::_8 ? audio::SampleType::UInt8 : audio::SampleType::Int16;
    BufferSize = std::uint16_t(noSamples_ * Format.bytesPerFrame()); // held in 16 bits
    for (int i = 0; i < kRingSize; ++i) {
        Buffers[i] = new (std::nothrow) char[BufferSize];
        RightBuffers[i] = new (std::nothrow) char[BufferSize / 2];
        if (!Buffers[i] || !RightBuffers[i]) {
            Owner.ErrorText = "Not enough memory to allocate Wave Buffer";
            return false;
        }
    }
    return true;
}

void TAudioSettings::FreeBuffers() {
    for (int i = 0; i < kRingSize; ++i) {
        delete[] Buffers[i];
        delete[] RightBuffers[i];
        Buffers[i] = RightBuffers[i] = nullptr;
    }
}
