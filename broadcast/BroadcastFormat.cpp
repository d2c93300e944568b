#include "broadcast/BroadcastFormat.h"

#include "broadcast/AudioCapture.h"

#include <new>

BroadcastFormat::BroadcastFormat(AudioCapture& owner)
    : Owner(owner) {}

BroadcastFormat::~BroadcastFormat() {
    FreeBuffers();
}

void BroadcastFormat::SetChannels(ChannelMode value) {
    ApplyChannels(value);
}

void BroadcastFormat::SetBitsPerSample(SampleDepth value) {
    ApplyBitsPerSample(value);
}

void BroadcastFormat::SetSampleRate(std::uint16_t value) {
    ApplySampleRate(value);
}

void BroadcastFormat::ApplyChannels(ChannelMode value) {
    StoreAndReallocate(channels_, value);
}

void BroadcastFormat::ApplyBitsPerSample(SampleDepth value) {
    StoreAndReallocate(bitsPerSample_, value);
}

void BroadcastFormat::ApplySampleRate(std::uint16_t value) {
    StoreAndReallocate(sampleRate_, value);
}

void BroadcastFormat::ApplyNoSamples(std::uint16_t value) {
    StoreAndReallocate(noSamples_, value);
}

void BroadcastFormat::Reallocate() {
    FreeBuffers();
    AllocBuffers();
}

bool BroadcastFormat::AllocBuffers() {
    Format.channels = channels_ == ChannelMode::Mono ? 1 : 2;
    Format.rate = sampleRate_;
    Format.sampleType =
        bitsPerSample_ == SampleDepth::_8 ? audio::SampleType::UInt8 : audio::SampleType::Int16;
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

void BroadcastFormat::FreeBuffers() {
    for (int i = 0; i < kRingSize; ++i) {
        delete[] Buffers[i];
        delete[] RightBuffers[i];
        Buffers[i] = RightBuffers[i] = nullptr;
    }
}
