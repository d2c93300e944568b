#pragma once

#include "platform/audio/TrackDecoder.h"

#include <utility>

namespace audio {

// Presents one of the concrete decoders through the common interface.
template <typename Decoder> class DecoderAdapter final : public TrackDecoder {
public:
    template <typename... Args>
    explicit DecoderAdapter(Args&&... args)
        : decoder_(std::forward<Args>(args)...) {}
    void Open(const std::string& path, const std::atomic<bool>* cancel) override {
        if constexpr (requires(Decoder d) { d.Open(path, cancel); })
            decoder_.Open(path, cancel);
        else
            decoder_.Open(path);
    }
    void Close() override { decoder_.Close(); }
    bool IsOpen() const override { return decoder_.IsOpen(); }
    std::int64_t LengthFrames() const override { return decoder_.LengthFrames(); }
    std::size_t Decode(StereoFrame* dst, std::size_t maxFrames) override {
        return decoder_.Decode(dst, maxFrames);
    }
    bool Finished() const override { return decoder_.Finished(); }

private:
    Decoder decoder_;
};

} // namespace audio
