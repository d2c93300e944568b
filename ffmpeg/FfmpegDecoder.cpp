#include "ffmpeg/FfmpegDecoder.h"

#include "platform/audio/MediaError.h"
#include "platform/audio/TrackDecoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace audio {

namespace {

// Decoding errors in a row after which the rest of a file counts as broken.
constexpr int kMaxErrorsInARow = 64;
// A stream that ends this few frames short of its stated length (codec and
// resampler rounding) is padded with silence so that the length holds.
constexpr std::int64_t kMaxPadFrames = 4096;

void quietLibraryOnce() {
    static std::once_flag once;
    // The libraries would otherwise print every damaged packet to standard error.
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// Stops the libraries' I/O: checked before every read of the file, so a
// demuxer hunting through a huge file of zeros stops at the next buffer.
struct Interrupt {
    const std::atomic<bool>* cancel = nullptr;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();

    bool due() const {
        return (cancel && cancel->load(std::memory_order_relaxed)) ||
               std::chrono::steady_clock::now() > deadline;
    }
    static int check(void* self) { return static_cast<const Interrupt*>(self)->due() ? 1 : 0; }
};

} // namespace

struct FfmpegDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    // What the resampler was set up for; a chained stream may change it.
    int inRate = 0;
    int inFormat = -1;
    AVChannelLayout inLayout{};
    // Converted frames not yet handed out.
    std::vector<StereoFrame> pending;
    std::size_t pendingCount = 0;
    std::size_t pendingPos = 0;
    bool readEnded = false;
    bool flushed = false;
    int errorsInARow = 0;
    Interrupt interrupt;

    ~State() {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // Opens the container and the decoder of its best audio stream; returns
    // an empty text, or why it cannot.
    std::string open(const std::string& path) {
        // Only local files and the sound containers the decks play: left to
        // itself libavformat opens "http:" paths, and plays a text file named
        // .ogg as an HLS or concat playlist, fetching whatever it lists.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        av_dict_set(&options, "format_whitelist", "flac,ogg,wav,aiff,mov,aac,mp3", 0);
        const std::string local = "file:" + path;
        format = avformat_alloc_context();
        if (!format)
            return "Out of memory opening " + path;
        format->interrupt_callback = {&Interrupt::check, &interrupt};
        int rc = avformat_open_input(&format, local.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (rc < 0 && interrupt.due())
            return late(path);
        if (rc < 0)
            return "The file is not in a sound format that can be played: " + path + " (" +
                   errorText(rc) + ")";
        if (avformat_find_stream_info(format, nullptr) < 0)
            return interrupt.due() ? late(path)
                                   : "The file is damaged: its streams cannot be read: " + path;
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream < 0 || !decoder)
            return "No sound that can be decoded was found in " + path;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (int(i) != stream)
                format->streams[i]->discard = AVDISCARD_ALL;
        codec = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!codec || !packet || !frame)
            return "Out of memory opening " + path;
        if (avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0 ||
            avcodec_open2(codec, decoder, nullptr) < 0)
            return std::string("The sound in the file cannot be decoded (") + decoder->name +
                   "): " + path;
        return {};
    }

    std::string late(const std::string& path) const {
        return interrupt.cancel && interrupt.cancel->load()
                   ? "The load was cancelled: " + path
                   : "The file took too long to open (over " +
                         std::to_string(kOpenDeadline.count()) + " s): " + path;
    }

    // Where a FLAC's frames end, in the stream's time base: the stream is
    // sought to the stated end, which lands on the last frame the file
    // really has, and read to its end. -1 when that cannot be found.
    std::int64_t flacFramesEnd(std::int64_t statedEnd) {
        if (av_seek_frame(format, stream, statedEnd, AVSEEK_FLAG_BACKWARD) < 0)
            return -1;
        std::int64_t end = -1;
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE)
                end = std::max(end, packet->pts + packet->duration);
            av_packet_unref(packet);
        }
        return end;
    }

    // Sets the resampler up for the current frame's format where it differs.
    bool prepareResampler() {
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0)
            av_channel_layout_default(&layout, std::max(frame->ch_layout.nb_channels, 1));
        else
            av_channel_layout_copy(&layout, &frame->ch_layout);
        if (resampler && frame->sample_rate == inRate && frame->format == inFormat &&
            av_channel_layout_compare(&layout, &inLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        inLayout = layout;
        inRate = frame->sample_rate;
        inFormat = frame->format;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, kOutputRate, &inLayout,
                                AVSampleFormat(inFormat), inRate, 0, nullptr) < 0)
            return false;
        if (inLayout.nb_channels == 1) {
            // Mono goes to both sides at full level, as the MP3 decoder does
            // (the default mix would lower it by 3 dB).
            const double both[2] = {1.0, 1.0};
            swr_set_matrix(resampler, both, 1);
        }
        return swr_init(resampler) >= 0;
    }

    // Converts count input frames (none: drain the resampler) into pending.
    void convert(const std::uint8_t** in, int count) {
        const int room = swr_get_out_samples(resampler, count);
        if (room <= 0) {
            pendingCount = pendingPos = 0;
            return;
        }
        if (pending.size() < std::size_t(room))
            pending.resize(std::size_t(room));
        auto* out = reinterpret_cast<std::uint8_t*>(pending.data());
        const int got = swr_convert(resampler, &out, room, in, count);
        pendingCount = std::size_t(std::max(got, 0));
        pendingPos = 0;
    }

    // The next decoded frame into `frame`; false at the end of the stream.
    bool nextFrame() {
        for (;;) {
            const int rc = avcodec_receive_frame(codec, frame);
            if (rc == 0) {
                errorsInARow = 0;
                return true;
            }
            if (rc == AVERROR_EOF)
                return false;
            if (rc != AVERROR(EAGAIN) && ++errorsInARow > kMaxErrorsInARow)
                return false;
            if (readEnded)
                return false;
            if (av_read_frame(format, packet) < 0) {
                // End of file or a read error: drain what the decoder holds.
                readEnded = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) < 0 &&
                ++errorsInARow > kMaxErrorsInARow) {
                av_packet_unref(packet);
                return false;
            }
            av_packet_unref(packet);
        }
    }

    // Fills pending with the next converted frames; false at the end.
    bool refill() {
        while (!flushed) {
            if (nextFrame()) {
                if (frame->nb_samples <= 0)
                    continue;
                if (!prepareResampler()) {
                    av_frame_unref(frame);
                    return false;
                }
                convert(const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
                av_frame_unref(frame);
            } else {
                // The resampler keeps a few frames back for its filter.
                flushed = true;
                if (!resampler)
                    return false;
                convert(nullptr, 0);
            }
            if (pendingCount > 0)
                return true;
        }
        return false;
    }
};

FfmpegDecoder::FfmpegDecoder() {
    quietLibraryOnce();
}

FfmpegDecoder::~FfmpegDecoder() = default;

void FfmpegDecoder::fail(const std::string& text) {
    close();
    throw MediaError(text);
}

void FfmpegDecoder::open(const std::string& path, const std::atomic<bool>* cancel) {
    close();
    const auto deadline = std::chrono::steady_clock::now() + kOpenDeadline;
    // A fresh state for every open (the count below opens twice), each under
    // the same cancel flag and deadline.
    auto fresh = [&] {
        state_ = std::make_unique<State>();
        state_->interrupt = {cancel, deadline};
        return state_->open(path);
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        fail("The file was not found: " + path);
    if (!S_ISREG(st.st_mode))
        fail("Not a file: " + path);
    if (st.st_size == 0)
        fail("The file is empty: " + path);
    if (std::string error = fresh(); !error.empty())
        fail(error);
    const AVStream* stream = state_->format->streams[state_->stream];
    // A length guessed from the bit rate (raw AAC, say) is no length.
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 &&
        state_->format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        std::int64_t duration = stream->duration;
        const AVRational timeBase = stream->time_base;
        // Ogg's end granule counts Opus's pre-skip, which the decoder drops.
        if (stream->codecpar->codec_id == AV_CODEC_ID_OPUS &&
            std::strcmp(state_->format->iformat->name, "ogg") == 0)
            duration -= av_rescale_q(stream->codecpar->initial_padding,
                                     {1, stream->codecpar->sample_rate}, stream->time_base);
        // A FLAC header's sample count is only a claim: a forged one would
        // show a 4 s file as days long and hold the advance back for ever.
        if (std::strcmp(state_->format->iformat->name, "flac") == 0) {
            const std::int64_t framesEnd = state_->flacFramesEnd(duration);
            if (state_->interrupt.due())
                fail(state_->late(path));
            if (framesEnd > 0)
                duration = std::min(duration, framesEnd);
            // Read from the top again in a fresh state: exact, where a seek
            // back might not be.
            if (std::string error = fresh(); !error.empty())
                fail(error);
        }
        lengthFrames_ = av_rescale_q_rnd(duration, timeBase, {1, kOutputRate}, AV_ROUND_NEAR_INF);
    } else {
        // No stated length (a FLAC written to a pipe, say): count by decoding,
        // then start again from the top.
        std::int64_t counted = 0;
        while (state_->refill())
            counted += std::int64_t(state_->pendingCount);
        if (state_->interrupt.due())
            fail(state_->late(path));
        if (std::string error = fresh(); !error.empty())
            fail(error);
        lengthFrames_ = counted;
    }
    // The first sound has to decode: a file whose headers are fine but whose
    // audio is garbage is refused here instead of playing as silence.
    if (!state_->refill() || lengthFrames_ <= 0)
        fail(state_->interrupt.due()
                 ? state_->late(path)
                 : "The file is damaged: no sound could be decoded from " + path);
    // Past the open, reading is the decks' own pace: neither the deadline
    // nor the loader's flag (which dies with the loader) applies any more.
    state_->interrupt = {};
    finished_ = false;
    delivered_ = 0;
}

void FfmpegDecoder::close() {
    state_.reset();
    finished_ = false;
    lengthFrames_ = 0;
    delivered_ = 0;
}

std::size_t FfmpegDecoder::decode(StereoFrame* dst, std::size_t maxFrames) {
    if (!state_ || finished_ || maxFrames == 0)
        return 0;
    State& s = *state_;
    std::size_t written = 0;
    while (written < maxFrames && delivered_ < lengthFrames_) {
        const std::int64_t remaining = lengthFrames_ - delivered_;
        if (s.pendingPos == s.pendingCount && !s.refill()) {
            if (remaining > kMaxPadFrames) {
                finished_ = true; // broke off early: play up to where it breaks
                break;
            }
            const std::size_t pad = std::min(maxFrames - written, std::size_t(remaining));
            std::memset(dst + written, 0, pad * sizeof(StereoFrame));
            written += pad;
            delivered_ += std::int64_t(pad);
            continue;
        }
        const std::size_t n =
            std::min({maxFrames - written, s.pendingCount - s.pendingPos, std::size_t(remaining)});
        std::memcpy(dst + written, s.pending.data() + s.pendingPos, n * sizeof(StereoFrame));
        s.pendingPos += n;
        written += n;
        delivered_ += std::int64_t(n);
    }
    if (delivered_ >= lengthFrames_)
        finished_ = true;
    return written;
}

} // namespace audio
