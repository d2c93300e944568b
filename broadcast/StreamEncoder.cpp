#include "broadcast/StreamEncoder.h"

#include <lame/lame.h>
#include <ogg/ogg.h>
#include <opus/opusenc.h>
#include <vorbis/vorbisenc.h>

#include <vector>

namespace {

class Mp3Stream : public StreamEncoder {
public:
    Mp3Stream(lame_global_flags* lame, Output output)
        : lame_(lame)
        , output_(std::move(output)) {}
    ~Mp3Stream() override { lame_close(lame_); }

    void Encode(const audio::StereoFrame* frames, std::size_t count) override {
        // LAME's worst case: 1.25 bytes a sample and 7200 over.
        buffer_.resize(count * 5 / 4 + 7200);
        const int n = lame_encode_buffer_interleaved_ieee_float(
            lame_, reinterpret_cast<const float*>(frames), int(count), buffer_.data(),
            int(buffer_.size()));
        if (n > 0)
            output_(buffer_.data(), std::size_t(n));
    }
    void NewTrack(const std::string&) override {}
    void Finish() override {
        buffer_.resize(7200);
        const int n = lame_encode_flush(lame_, buffer_.data(), int(buffer_.size()));
        if (n > 0)
            output_(buffer_.data(), std::size_t(n));
    }

private:
    lame_global_flags* lame_;
    Output output_;
    std::vector<unsigned char> buffer_;
};

class OggOpusStream : public StreamEncoder {
public:
    explicit OggOpusStream(Output output)
        : output_(std::move(output)) {}
    ~OggOpusStream() override {
        if (encoder_)
            ope_encoder_destroy(encoder_);
    }

    bool Open(int kbps, const std::string& title) {
        OpusEncCallbacks callbacks{&OggOpusStream::Write, &OggOpusStream::Close};
        OggOpusComments* comments = Comments(title);
        int error = 0;
        encoder_ = ope_encoder_create_callbacks(&callbacks, this, comments, audio::kOutputRate, 2,
                                                0, &error);
        ope_comments_destroy(comments);
        return encoder_ && ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(kbps * 1000)) == OPE_OK &&
               // Audio is encoded after 100 ms (not the 2 s libopusenc keeps
               // by default) and a page goes out at least every 250 ms: a
               // title or a listener waits no longer, and a file cut short
               // loses no more.
               ope_encoder_ctl(encoder_, OPE_SET_DECISION_DELAY(48000 / 10)) == OPE_OK &&
               ope_encoder_ctl(encoder_, OPE_SET_MUXING_DELAY(48000 / 4)) == OPE_OK;
    }

    void Encode(const audio::StereoFrame* frames, std::size_t count) override {
        ope_encoder_write_float(encoder_, reinterpret_cast<const float*>(frames), int(count));
    }
    void NewTrack(const std::string& title) override {
        OggOpusComments* comments = Comments(title);
        ope_encoder_chain_current(encoder_, comments);
        ope_comments_destroy(comments);
    }
    void Finish() override { ope_encoder_drain(encoder_); }

private:
    static OggOpusComments* Comments(const std::string& title) {
        OggOpusComments* comments = ope_comments_create();
        const auto [artist, name] = SplitTitle(title);
        if (!artist.empty())
            ope_comments_add(comments, "ARTIST", artist.c_str());
        if (!name.empty())
            ope_comments_add(comments, "TITLE", name.c_str());
        return comments;
    }
    static int Write(void* self, const unsigned char* bytes, opus_int32 size) {
        static_cast<OggOpusStream*>(self)->output_(bytes, std::size_t(size));
        return 0;
    }
    static int Close(void*) { return 0; }

    Output output_;
    OggOpusEnc* encoder_ = nullptr;
};

// Ogg Vorbis through libvorbisenc and libogg. A new title ends the logical
// stream and begins the next one (a new serial number) with its comments.
class OggVorbisStream : public StreamEncoder {
public:
    OggVorbisStream(int kbps, Output output)
        : kbps_(kbps)
        , output_(std::move(output)) {}
    ~OggVorbisStream() override { Clear(); }

    bool Begin(const std::string& title) {
        vorbis_info_init(&info_);
        // The average rate without the bit-rate manager, whose reservoir
        // holds packets back for seconds: a title, a listener and a
        // reconnect would wait for it.
        if (vorbis_encode_setup_managed(&info_, 2, audio::kOutputRate, -1, kbps_ * 1000, -1) != 0 ||
            vorbis_encode_ctl(&info_, OV_ECTL_RATEMANAGE2_SET, nullptr) != 0 ||
            vorbis_encode_setup_init(&info_) != 0) {
            vorbis_info_clear(&info_);
            return false;
        }
        vorbis_comment comments;
        vorbis_comment_init(&comments);
        const auto [artist, name] = SplitTitle(title);
        if (!artist.empty())
            vorbis_comment_add_tag(&comments, "ARTIST", artist.c_str());
        if (!name.empty())
            vorbis_comment_add_tag(&comments, "TITLE", name.c_str());
        vorbis_analysis_init(&dsp_, &info_);
        vorbis_block_init(&dsp_, &block_);
        ogg_stream_init(&stream_, ++serial_);
        ogg_packet header, commentHeader, codeHeader;
        vorbis_analysis_headerout(&dsp_, &comments, &header, &commentHeader, &codeHeader);
        vorbis_comment_clear(&comments);
        ogg_stream_packetin(&stream_, &header);
        ogg_stream_packetin(&stream_, &commentHeader);
        ogg_stream_packetin(&stream_, &codeHeader);
        // The headers on pages of their own, before any sound.
        for (ogg_page page; ogg_stream_flush(&stream_, &page) > 0;)
            Out(page);
        open_ = true;
        firstPackets_ = kFirstPackets;
        return true;
    }

    void Encode(const audio::StereoFrame* frames, std::size_t count) override {
        if (!open_ || count == 0)
            return;
        float** buffer = vorbis_analysis_buffer(&dsp_, int(count));
        for (std::size_t i = 0; i < count; ++i) {
            buffer[0][i] = frames[i].left;
            buffer[1][i] = frames[i].right;
        }
        vorbis_analysis_wrote(&dsp_, int(count));
        Pages();
    }
    void NewTrack(const std::string& title) override {
        Finish();
        Clear();
        Begin(title);
    }
    void Finish() override {
        if (!open_)
            return;
        vorbis_analysis_wrote(&dsp_, 0);
        Pages();
    }

private:
    void Pages() {
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
                ogg_stream_packetin(&stream_, &packet);
                // The first sound of a stream on pages of its own at once:
                // servers take up the new comments once sound follows them.
                const bool now = firstPackets_ > 0 && firstPackets_-- > 0;
                for (ogg_page page; (now ? ogg_stream_flush(&stream_, &page)
                                         : ogg_stream_pageout(&stream_, &page)) > 0;)
                    Out(page);
            }
        }
        if (ogg_stream_eos(&stream_))
            for (ogg_page page; ogg_stream_flush(&stream_, &page) > 0;)
                Out(page);
    }
    void Out(const ogg_page& page) {
        output_(page.header, std::size_t(page.header_len));
        output_(page.body, std::size_t(page.body_len));
    }
    void Clear() {
        if (!open_)
            return;
        open_ = false;
        ogg_stream_clear(&stream_);
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
        vorbis_info_clear(&info_);
    }

    static constexpr int kFirstPackets = 64;

    int kbps_;
    Output output_;
    bool open_ = false;
    int firstPackets_ = 0;
    int serial_ = 0;
    vorbis_info info_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_stream_state stream_{};
};

} // namespace

std::pair<std::string, std::string> SplitTitle(const std::string& title) {
    const auto dash = title.find(" - ");
    if (dash == std::string::npos)
        return {std::string(), title};
    return {title.substr(0, dash), title.substr(dash + 3)};
}

std::unique_ptr<StreamEncoder> MakeStreamEncoder(StreamFormat format, int kbps,
                                                 const std::string& title,
                                                 StreamEncoder::Output output) {
    if (format == StreamFormat::Vorbis) {
        auto encoder = std::make_unique<OggVorbisStream>(kbps, std::move(output));
        if (!encoder->Begin(title))
            return nullptr;
        return encoder;
    }
    if (format == StreamFormat::Opus) {
        auto encoder = std::make_unique<OggOpusStream>(std::move(output));
        if (!encoder->Open(kbps, title))
            return nullptr;
        return encoder;
    }
    lame_global_flags* lame = lame_init();
    if (!lame)
        return nullptr;
    lame_set_in_samplerate(lame, audio::kOutputRate);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, kbps);
    lame_set_VBR(lame, vbr_off);
    lame_set_bWriteVbrTag(lame, 0); // a stream has no start to come back to
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return nullptr;
    }
    return std::make_unique<Mp3Stream>(lame, std::move(output));
}
