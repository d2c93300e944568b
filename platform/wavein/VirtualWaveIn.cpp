#include "platform/wavein/VirtualWaveIn.h"

#include "platform/wavein/VirtualWaveInDevice.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

namespace wavein {
namespace {

enum class Source { Silence, Tone, Samples };

struct State {
    std::mutex mutex;
    std::vector<VirtualWaveInDevice*> devices;
    Source source = Source::Silence;
    double frequency = 0.0;
    double amplitude = 0.0;
    std::vector<std::int16_t> samples;
    int sampleChannels = 1;
    MMRESULT nextOpen = MMSYSERR_NOERROR;
    int failingAdds = 0;
    MMRESULT addError = MMSYSERR_NOERROR;
};

State& S() {
    static State state;
    return state;
}

std::vector<VirtualWaveInDevice*> StartedDevices() {
    std::lock_guard lock(S().mutex);
    std::vector<VirtualWaveInDevice*> out;
    for (auto* d : S().devices)
        if (d->Started())
            out.push_back(d);
    return out;
}

// One sample of channel `ch` of the next frame, as a signed 16-bit value.
std::int16_t NextSample(const VirtualWaveInDevice& d, int ch) {
    State& s = S();
    switch (s.source) {
    case Source::Silence:
        return 0;
    case Source::Tone:
        return std::int16_t(std::lrint(std::sin(d.phase) * s.amplitude * 32767.0));
    case Source::Samples: {
        const std::size_t frames = s.samples.size() / std::size_t(s.sampleChannels);
        if (frames == 0)
            return 0;
        const int srcCh = std::min(ch, s.sampleChannels - 1);
        return s
            .samples[(d.sampleFrame % frames) * std::size_t(s.sampleChannels) + std::size_t(srcCh)];
    }
    }
    return 0;
}

std::vector<char> Render(VirtualWaveInDevice& d, int frames) {
    const WAVEFORMATEX& f = d.Format();
    const double rate = f.nSamplesPerSec ? f.nSamplesPerSec : 1;
    std::vector<char> out;
    out.reserve(std::size_t(frames) * f.nBlockAlign);
    std::lock_guard lock(S().mutex);
    for (int i = 0; i < frames; ++i) {
        for (int ch = 0; ch < f.nChannels; ++ch) {
            const std::int16_t v = NextSample(d, ch);
            if (f.wBitsPerSample == 8) {
                out.push_back(char(std::uint8_t((v >> 8) + 128)));
            } else {
                out.push_back(char(v & 0xFF));
                out.push_back(char((v >> 8) & 0xFF));
            }
        }
        d.phase =
            std::fmod(d.phase + 2 * std::numbers::pi * S().frequency / rate, 2 * std::numbers::pi);
        ++d.sampleFrame;
    }
    return out;
}

} // namespace

VirtualWaveInDevice::VirtualWaveInDevice(const WAVEFORMATEX& format, const WaveInCallback& callback)
    : WaveInDevice(format, callback) {
    std::lock_guard lock(S().mutex);
    S().devices.push_back(this);
}

VirtualWaveInDevice::~VirtualWaveInDevice() {
    std::lock_guard lock(S().mutex);
    std::erase(S().devices, this);
}

MMRESULT VirtualWaveInDevice::AdmitBuffer() {
    std::lock_guard lock(S().mutex);
    if (S().failingAdds <= 0)
        return MMSYSERR_NOERROR;
    --S().failingAdds;
    return S().addError;
}

MMRESULT OpenVirtualWaveIn(HWAVEIN* handle, const WAVEFORMATEX& format,
                           const WaveInCallback& callback) {
    {
        std::lock_guard lock(S().mutex);
        if (const MMRESULT r = std::exchange(S().nextOpen, MMSYSERR_NOERROR))
            return r;
    }
    *handle = new VirtualWaveInDevice(format, callback);
    return MMSYSERR_NOERROR;
}

namespace virtual_input {

void SetTone(double frequencyHz, double amplitude) {
    std::lock_guard lock(S().mutex);
    S().source = Source::Tone;
    S().frequency = frequencyHz;
    S().amplitude = std::clamp(amplitude, 0.0, 1.0);
}

void SetSilence() {
    std::lock_guard lock(S().mutex);
    S().source = Source::Silence;
}

void SetSamples(std::vector<std::int16_t> interleaved, int channels) {
    std::lock_guard lock(S().mutex);
    S().source = Source::Samples;
    S().samples = std::move(interleaved);
    S().sampleChannels = std::max(channels, 1);
}

bool LoadWavFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = file.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE")
        return false;
    auto u16 = [&](qsizetype at) { return int(quint8(all[at])) | int(quint8(all[at + 1])) << 8; };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    int channels = 0, bits = 0;
    for (qsizetype at = 12; at + 8 <= all.size();) {
        const QByteArray id = all.mid(at, 4);
        const qsizetype size = qsizetype(u32(at + 4));
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= all.size()) {
            channels = u16(body + 2);
            bits = u16(body + 14);
        } else if (id == "data" && channels > 0 && bits == 16) {
            const qsizetype n = std::min(size, all.size() - body) / 2;
            std::vector<std::int16_t> samples(static_cast<std::size_t>(n));
            std::memcpy(samples.data(), all.constData() + body, std::size_t(n) * 2);
            SetSamples(std::move(samples), channels);
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

void Advance(int frames) {
    for (auto* d : StartedDevices()) {
        const std::vector<char> bytes = Render(*d, frames);
        d->Deliver(bytes.data(), bytes.size());
    }
}

void Feed(const void* bytes, std::size_t count) {
    for (auto* d : StartedDevices())
        d->Deliver(static_cast<const char*>(bytes), count);
}

int OpenDevices() {
    std::lock_guard lock(S().mutex);
    return int(S().devices.size());
}

void FailNextOpen(MMRESULT error) {
    std::lock_guard lock(S().mutex);
    S().nextOpen = error;
}

void FailAddBuffers(int count, MMRESULT error) {
    std::lock_guard lock(S().mutex);
    S().failingAdds = count;
    S().addError = error;
}

void ResetState() {
    std::lock_guard lock(S().mutex);
    S().source = Source::Silence;
    S().samples.clear();
    S().nextOpen = MMSYSERR_NOERROR;
    S().failingAdds = 0;
}

} // namespace virtual_input
} // namespace wavein
