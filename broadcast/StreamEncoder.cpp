#include "broadcast/StreamEncoder.h"

#include <lame/lame.h>
#include <ogg/ogg.h>
#include <opus/opus.h>
#include <speex/speex_resampler.h>
#include <vorbis/vorbisenc.h>

#include <cstdint>
#include <initializer_list>

#include <vector>

namespace {

class Mp3Stream : public StreamEncoder {
public:
    Mp3Stream(lame_global_flags* lame, Output output)
        : lame_(lame)
        , output_(std::move(output)) {}
    ~Mp3Stream() override { lame_close(lame_); }

    void encode(const audio::StereoFrame* frames, std::size_t count) override {
        // LAME's worst case: 1.25 bytes a sample and 7200 over.
        buffer_.resize(count * 5 / 4 + 7200);
        const int n = lame_encode_buffer_interleaved_ieee_float(
            lame_, reinterpret_cast<const float*>(frames), int(count), buffer_.data(),
            int(buffer_.size()));
        if (n > 0)
            output_(buffer_.data(), std::size_t(n));
    }
    void newTrack(const std::string&) override {}
    void finish() override {
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

// One logical Ogg stream after another (a chain): packets in, pages out.
// The first sound packets of each stream go out on pages of their own at
// once (servers take up a stream's new comments only once sound follows
// them); after that a page goes out when full or when it holds
// kPageGranules of sound, so a listener or a file cut short waits or loses
// no more than that.
class OggChain {
public:
    OggChain(StreamEncoder::Output output, ogg_int64_t pageGranules)
        : output_(std::move(output))
        , pageGranules_(pageGranules) {}
    ~OggChain() { end(); }

    // A new logical stream whose headers are these packets.
    void begin(std::initializer_list<ogg_packet*> headers) {
        end();
        ogg_stream_init(&stream_, ++serial_);
        open_ = true;
        for (ogg_packet* header : headers)
            ogg_stream_packetin(&stream_, header);
        flush(); // the headers on pages of their own, before any sound
        firstPackets_ = kFirstPackets;
        lastPage_ = 0;
    }
    void add(ogg_packet& packet) {
        ogg_stream_packetin(&stream_, &packet);
        const bool now = packet.e_o_s || (firstPackets_ > 0 && firstPackets_-- > 0) ||
                         packet.granulepos - lastPage_ >= pageGranules_;
        if (now)
            flush();
        for (ogg_page page; ogg_stream_pageout(&stream_, &page) > 0;)
            out(page);
    }
    bool isOpen() const { return open_; }
    void end() {
        if (open_)
            ogg_stream_clear(&stream_);
        open_ = false;
    }

private:
    static constexpr int kFirstPackets = 64;
    void flush() {
        for (ogg_page page; ogg_stream_flush(&stream_, &page) > 0;)
            out(page);
    }
    void out(const ogg_page& page) {
        if (ogg_page_granulepos(&page) > 0)
            lastPage_ = ogg_page_granulepos(&page);
        output_(page.header, std::size_t(page.header_len));
        output_(page.body, std::size_t(page.body_len));
    }

    StreamEncoder::Output output_;
    const ogg_int64_t pageGranules_;
    ogg_stream_state stream_{};
    bool open_ = false;
    int serial_ = 0;
    int firstPackets_ = 0;
    ogg_int64_t lastPage_ = 0;
};

ogg_packet packet(unsigned char* data, std::size_t size, ogg_int64_t granule, bool bos = false) {
    ogg_packet p{};
    p.packet = data;
    p.bytes = long(size);
    p.b_o_s = bos;
    p.granulepos = granule;
    return p;
}

// Ogg Opus through libopus and libogg (libopusenc costs twice the CPU
// here): the mix resampled to 48 kHz (speex
// resampler), 20 ms packets. A new title ends the logical stream and starts
// the next with its OpusTags.
class OggOpusStream : public StreamEncoder {
public:
    static constexpr int kRate = 48000;
    static constexpr int kFrame = kRate / 50; // 20 ms

    explicit OggOpusStream(Output output)
        : ogg_(std::move(output), kRate / 4) {}
    ~OggOpusStream() override {
        if (encoder_)
            opus_encoder_destroy(encoder_);
        if (resampler_)
            speex_resampler_destroy(resampler_);
    }

    bool open(int kbps, const std::string& title) {
        int error = 0;
        encoder_ = opus_encoder_create(kRate, 2, OPUS_APPLICATION_AUDIO, &error);
        resampler_ = speex_resampler_init(2, audio::kOutputRate, kRate, 5, &error);
        if (!encoder_ || !resampler_ ||
            opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(kbps * 1000)) != OPUS_OK ||
            opus_encoder_ctl(encoder_, OPUS_GET_LOOKAHEAD(&preSkip_)) != OPUS_OK)
            return false;
        speex_resampler_skip_zeros(resampler_);
        begin(title);
        return true;
    }

    void encode(const audio::StereoFrame* frames, std::size_t count) override {
        const std::size_t at = pending_.size();
        auto in = spx_uint32_t(count);
        auto out = spx_uint32_t(count * kRate / audio::kOutputRate + 2);
        pending_.resize(at + 2 * out);
        speex_resampler_process_interleaved_float(
            resampler_, reinterpret_cast<const float*>(frames), &in, pending_.data() + at, &out);
        pending_.resize(at + 2 * out);
        encodeWhole(false);
    }
    void newTrack(const std::string& title) override {
        finish();
        opus_encoder_ctl(encoder_, OPUS_RESET_STATE);
        begin(title);
    }
    void finish() override {
        if (!ogg_.isOpen())
            return;
        // The last packet, padded with silence, carries the end of the stream.
        pending_.resize(pending_.size() + 2 * std::size_t(kFrame - 1), 0.0f);
        encodeWhole(true);
        ogg_.end();
    }

private:
    void begin(const std::string& title) {
        unsigned char head[19] = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2};
        head[10] = std::uint8_t(preSkip_);
        head[11] = std::uint8_t(preSkip_ >> 8);
        const std::uint32_t inputRate = audio::kOutputRate;
        for (int i = 0; i < 4; ++i)
            head[12 + i] = std::uint8_t(inputRate >> (8 * i));
        std::vector<unsigned char> tags;
        auto text = [&tags](const std::string& t) {
            for (int i = 0; i < 4; ++i)
                tags.push_back(std::uint8_t(t.size() >> (8 * i)));
            tags.insert(tags.end(), t.begin(), t.end());
        };
        const std::string magic = "OpusTags";
        tags.assign(magic.begin(), magic.end());
        text(opus_get_version_string());
        const auto [artist, name] = splitTitle(title);
        std::vector<std::string> comments;
        if (!artist.empty())
            comments.push_back("ARTIST=" + artist);
        if (!name.empty())
            comments.push_back("TITLE=" + name);
        for (int i = 0; i < 4; ++i)
            tags.push_back(std::uint8_t(comments.size() >> (8 * i)));
        for (const std::string& c : comments)
            text(c);
        ogg_packet headPacket = packet(head, sizeof head, 0, true);
        ogg_packet tagsPacket = packet(tags.data(), tags.size(), 0);
        ogg_.begin({&headPacket, &tagsPacket});
        granule_ = preSkip_;
    }
    void encodeWhole(bool last) {
        std::size_t used = 0;
        unsigned char packet[4000];
        while (pending_.size() - used >= 2 * std::size_t(kFrame)) {
            const opus_int32 n =
                opus_encode_float(encoder_, pending_.data() + used, kFrame, packet, sizeof packet);
            used += 2 * std::size_t(kFrame);
            if (n < 0)
                continue;
            granule_ += kFrame;
            ogg_packet p = ::packet(packet, std::size_t(n), granule_);
            p.e_o_s = last && pending_.size() - used < 2 * std::size_t(kFrame);
            ogg_.add(p);
        }
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(used));
    }

    OggChain ogg_;
    OpusEncoder* encoder_ = nullptr;
    SpeexResamplerState* resampler_ = nullptr;
    opus_int32 preSkip_ = 0;
    ogg_int64_t granule_ = 0;
    std::vector<float> pending_; // 48 kHz interleaved, not yet a whole packet
};

// Ogg Vorbis through libvorbisenc and libogg. A new title ends the logical
// stream and begins the next one with its comments.
class OggVorbisStream : public StreamEncoder {
public:
    OggVorbisStream(int kbps, Output output)
        : kbps_(kbps)
        , ogg_(std::move(output), audio::kOutputRate / 4) {}
    ~OggVorbisStream() override { clear(); }

    bool begin(const std::string& title) {
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
        const auto [artist, name] = splitTitle(title);
        if (!artist.empty())
            vorbis_comment_add_tag(&comments, "ARTIST", artist.c_str());
        if (!name.empty())
            vorbis_comment_add_tag(&comments, "TITLE", name.c_str());
        vorbis_analysis_init(&dsp_, &info_);
        vorbis_block_init(&dsp_, &block_);
        ogg_packet header, commentHeader, codeHeader;
        vorbis_analysis_headerout(&dsp_, &comments, &header, &commentHeader, &codeHeader);
        vorbis_comment_clear(&comments);
        ogg_.begin({&header, &commentHeader, &codeHeader});
        open_ = true;
        return true;
    }

    void encode(const audio::StereoFrame* frames, std::size_t count) override {
        if (!open_ || count == 0)
            return;
        float** buffer = vorbis_analysis_buffer(&dsp_, int(count));
        for (std::size_t i = 0; i < count; ++i) {
            buffer[0][i] = frames[i].left;
            buffer[1][i] = frames[i].right;
        }
        vorbis_analysis_wrote(&dsp_, int(count));
        packets();
    }
    void newTrack(const std::string& title) override {
        finish();
        clear();
        begin(title);
    }
    void finish() override {
        if (!open_)
            return;
        vorbis_analysis_wrote(&dsp_, 0);
        packets();
    }

private:
    void packets() {
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1)
                ogg_.add(packet);
        }
    }
    void clear() {
        if (!open_)
            return;
        open_ = false;
        ogg_.end();
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
        vorbis_info_clear(&info_);
    }

    int kbps_;
    OggChain ogg_;
    bool open_ = false;
    vorbis_info info_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
};

} // namespace

std::pair<std::string, std::string> splitTitle(const std::string& title) {
    const auto dash = title.find(" - ");
    if (dash == std::string::npos)
        return {std::string(), title};
    return {title.substr(0, dash), title.substr(dash + 3)};
}

std::unique_ptr<StreamEncoder> makeStreamEncoder(StreamFormat format, int kbps,
                                                 const std::string& title,
                                                 StreamEncoder::Output output) {
    if (format == StreamFormat::Vorbis) {
        auto encoder = std::make_unique<OggVorbisStream>(kbps, std::move(output));
        if (!encoder->begin(title))
            return nullptr;
        return encoder;
    }
    if (format == StreamFormat::Opus) {
        auto encoder = std::make_unique<OggOpusStream>(std::move(output));
        if (!encoder->open(kbps, title))
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
