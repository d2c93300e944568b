#include "broadcast/AudioSettings.h"

#include "broadcast/Audio.h"

#include <new>

using namespace wavein;

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
    Format = reinterpret_cast<WAVEFORMATEX*>(new (std::nothrow) char[Owner.FormatSize]);
    if (!Format) {
        Owner.ErrorText = "Not enough memory to allocate WaveFormat";
        return false;
    }
    Format->wFormatTag = WAVE_FORMAT_PCM;
    Format->nChannels = channels_ == TChannels::Mono ? 1 : 2;
    Format->nSamplesPerSec = sampleRate_;
    Format->wBitsPerSample = bitsPerSample_ == TBPS::_8 ? 8 : 16;
    Format->nBlockAlign = std::uint16_t(Format->nChannels * (Format->wBitsPerSample / 8));
    Format->nAvgBytesPerSec = Format->nSamplesPerSec * Format->nBlockAlign;
    Format->cbSize = 0;
    BufferSize = std::uint16_t(noSamples_ * Format->nBlockAlign); // held in 16 bits
    for (int i = 0; i < kRingSize; ++i) {
        Headers[i] = new (std::nothrow) WAVEHDR{};
        if (!Headers[i]) {
            Owner.ErrorText = "Not enough memory to allocate WaveHeader";
            return false;
        }
        Buffers[i] = new (std::nothrow) char[BufferSize];
        RightBuffers[i] = new (std::nothrow) char[BufferSize / 2];
        if (!Buffers[i] || !RightBuffers[i]) {
            Owner.ErrorText = "Not enough memory to allocate Wave Buffer";
            return false;
        }
        Headers[i]->lpData = Buffers[i];
    }
    return true;
}

void TAudioSettings::FreeBuffers() {
    if (!Format)
        return;
    delete[] reinterpret_cast<char*>(Format);
    Format = nullptr;
    for (int i = 0; i < kRingSize; ++i) {
        delete[] Buffers[i];
        delete[] RightBuffers[i];
        delete Headers[i];
        Buffers[i] = RightBuffers[i] = nullptr;
        Headers[i] = nullptr;
    }
}
