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
    void open(const std::string& path, const std::atomic<bool>* cancel) override {
        if constexpr (requires(Decoder d) { d.open(path, cancel); })
            decoder_.open(path, cancel);
        else
            decoder_.open(path);
    }
    void close() override { decoder_.close(); }
    bool isOpen() const override { return decoder_.isOpen(); }
    std::int64_t lengthFrames() const override { return decoder_.lengthFrames(); }
    std::size_t decode(StereoFrame* dst, std::size_t maxFrames) override {
        return decoder_.decode(dst, maxFrames);
    }
    bool finished() const override { return decoder_.finished(); }

private:
    Decoder decoder_;
};

} // namespace audio
