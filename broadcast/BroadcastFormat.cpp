#include "broadcast/BroadcastFormat.h"

#include "broadcast/AudioCapture.h"

#include <new>

BroadcastFormat::BroadcastFormat(AudioCapture& owner)
    : Owner(owner) {}

BroadcastFormat::~BroadcastFormat() {
    freeBuffers();
}

void BroadcastFormat::setChannels(ChannelMode value) {
    applyChannels(value);
}

void BroadcastFormat::setBitsPerSample(SampleDepth value) {
    applyBitsPerSample(value);
}

void BroadcastFormat::setSampleRate(std::uint16_t value) {
    applySampleRate(value);
}

void BroadcastFormat::applyChannels(ChannelMode value) {
    storeAndReallocate(channels_, value);
}

void BroadcastFormat::applyBitsPerSample(SampleDepth value) {
    storeAndReallocate(bitsPerSample_, value);
}

void BroadcastFormat::applySampleRate(std::uint16_t value) {
    storeAndReallocate(sampleRate_, value);
}

void BroadcastFormat::applyNoSamples(std::uint16_t value) {
    storeAndReallocate(noSamples_, value);
}

void BroadcastFormat::reallocate() {
    freeBuffers();
    allocBuffers();
}

bool BroadcastFormat::allocBuffers() {
    Format.channels = channels_ == ChannelMode::Mono ? 1 : 2;
    Format.rate = sampleRate_;
    Format.sampleType =
        bitsPerSample_ == SampleDepth::_8 ? audio::SampleType::UInt8 : audio::SampleType::Int16;
    BufferSize = std::uint16_t(noSamples_ * Format.bytesPerFrame()); // held in 16 bits
    for (int i = 0; i < kRingSize; ++i) {
        Buffers[i] = new (std::nothrow) char[BufferSize];
        RightBuffers[i] = new (std::nothrow) char[BufferSize / 2];
        if (!Buffers[i] || !RightBuffers[i]) {
            Owner.errorText = "Not enough memory to allocate Wave Buffer";
            return false;
        }
    }
    return true;
}

void BroadcastFormat::freeBuffers() {
    for (int i = 0; i < kRingSize; ++i) {
        delete[] Buffers[i];
        delete[] RightBuffers[i];
        Buffers[i] = RightBuffers[i] = nullptr;
    }
}
