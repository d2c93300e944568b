#include "platform/capture/VirtualInput.h"

#include "platform/capture/VirtualInputCapture.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>
#include <utility>

namespace audio {
namespace {

class VirtualInputCapture;

enum class Source { Silence, Tone, Samples };

struct State {
    std::mutex mutex;
    std::vector<VirtualInputCapture*> captures;
    Source source = Source::Silence;
    double frequency = 0.0;
    double amplitude = 0.0;
    std::vector<std::int16_t> samples;
    int sampleChannels = 1;
    std::string nextOpenError;
    std::string nextStartError;
};

// Never destroyed: a capture released on a worker thread as the process
// ends may unregister itself after the statics' destructors have run.
State& S() {
    static State& state = *new State;
    return state;
}

// A capture on the virtual input; it registers itself so that the test's
// Advance/Feed reach it.
class VirtualInputCapture : public InputCapture {
public:
    VirtualInputCapture(const CaptureFormat& format, std::size_t blockBytes, BlockHandler handler)
        : InputCapture(format, blockBytes, std::move(handler)) {
        std::lock_guard lock(S().mutex);
        S().captures.push_back(this);
    }
    ~VirtualInputCapture() override {
        std::lock_guard lock(S().mutex);
        std::erase(S().captures, this);
    }
    void record(const char* bytes, std::size_t count) { deliver(bytes, count); }

    double phase = 0.0;          // tone phase, radians
    std::size_t sampleFrame = 0; // position in the looped samples

protected:
    Status startSource() override {
        std::lock_guard lock(S().mutex);
        if (std::string error = std::exchange(S().nextStartError, {}); !error.empty())
            return Status::failure(std::move(error));
        return Status::success();
    }
    void stopSource() override {}
};

std::vector<VirtualInputCapture*> runningCaptures() {
    std::vector<VirtualInputCapture*> all;
    {
        std::lock_guard lock(S().mutex);
        all = S().captures;
    }
    std::erase_if(all, [](VirtualInputCapture* c) { return !c->running(); });
    return all;
}

// One sample of channel `ch` of the next frame, as a signed 16-bit value.
std::int16_t nextSample(const VirtualInputCapture& c, int ch) {
    State& s = S();
    switch (s.source) {
    case Source::Silence:
        return 0;
    case Source::Tone:
        return std::int16_t(std::lrint(std::sin(c.phase) * s.amplitude * 32767.0));
    case Source::Samples: {
        const std::size_t frames = s.samples.size() / std::size_t(s.sampleChannels);
        if (frames == 0)
            return 0;
        const int srcCh = std::min(ch, s.sampleChannels - 1);
        return s
            .samples[(c.sampleFrame % frames) * std::size_t(s.sampleChannels) + std::size_t(srcCh)];
    }
    }
    return 0;
}

std::vector<char> render(VirtualInputCapture& c, int frames) {
    const CaptureFormat& f = c.format();
    std::vector<char> out;
    out.reserve(std::size_t(frames) * std::size_t(f.bytesPerFrame()));
    std::lock_guard lock(S().mutex);
    for (int i = 0; i < frames; ++i) {
        for (int ch = 0; ch < f.channels; ++ch) {
            const std::int16_t v = nextSample(c, ch);
            if (f.sampleType == SampleType::UInt8) {
                out.push_back(char(std::uint8_t((v >> 8) + 128)));
            } else {
                out.push_back(char(v & 0xFF));
                out.push_back(char((v >> 8) & 0xFF));
            }
        }
        c.phase = std::fmod(c.phase + 2 * std::numbers::pi * S().frequency / f.rate,
                            2 * std::numbers::pi);
        ++c.sampleFrame;
    }
    return out;
}

} // namespace

Status openVirtualInputCapture(int device, const CaptureFormat& format, std::size_t blockBytes,
                               InputCapture::BlockHandler handler,
                               std::unique_ptr<InputCapture>& capture) {
    if (device != InputCapture::kDefaultDevice && device != 0)
        return Status::failure("That sound input device does not exist.");
    {
        std::lock_guard lock(S().mutex);
        if (std::string error = std::exchange(S().nextOpenError, {}); !error.empty())
            return Status::failure(std::move(error));
    }
    capture = std::make_unique<VirtualInputCapture>(format, blockBytes, std::move(handler));
    return Status::success();
}

namespace virtual_input {

void setTone(double frequencyHz, double amplitude) {
    std::lock_guard lock(S().mutex);
    S().source = Source::Tone;
    S().frequency = frequencyHz;
    S().amplitude = std::clamp(amplitude, 0.0, 1.0);
}

void setSilence() {
    std::lock_guard lock(S().mutex);
    S().source = Source::Silence;
}

void setSamples(std::vector<std::int16_t> interleaved, int channels) {
    std::lock_guard lock(S().mutex);
    S().source = Source::Samples;
    S().samples = std::move(interleaved);
    S().sampleChannels = std::max(channels, 1);
}

bool loadWavFile(const std::string& path) {
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
            setSamples(std::move(samples), channels);
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

void advance(int frames) {
    for (auto* c : runningCaptures()) {
        const std::vector<char> bytes = render(*c, frames);
        c->record(bytes.data(), bytes.size());
    }
}

void feed(const void* bytes, std::size_t count) {
    for (auto* c : runningCaptures())
        c->record(static_cast<const char*>(bytes), count);
}

int openCaptures() {
    std::lock_guard lock(S().mutex);
    return int(S().captures.size());
}

void failNextOpen(std::string error) {
    std::lock_guard lock(S().mutex);
    S().nextOpenError = std::move(error);
}

void failNextStart(std::string error) {
    std::lock_guard lock(S().mutex);
    S().nextStartError = std::move(error);
}

void resetState() {
    std::lock_guard lock(S().mutex);
    S().source = Source::Silence;
    S().samples.clear();
    S().nextOpenError.clear();
    S().nextStartError.clear();
}

} // namespace virtual_input
} // namespace audio
