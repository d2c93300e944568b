#include "broadcast/IcecastSource.h"

#include "broadcast/BroadcastLog.h"
#include "platform/BackgroundTask.h"
#include "platform/Wakeup.h"

#include <shout/shout.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

struct IcecastSource::Shared {
    explicit Shared(IcecastSettings s)
        : settings(std::move(s)) {}

    const IcecastSettings settings;
    audio::SpscRing<audio::StereoFrame> pcm{1 << 17}; // ~3 s
    mutable std::mutex lock;                          // title and status
    std::string title;
    unsigned titleCount = 0;
    Status status;
    Wakeup wake; // the sender rests on it: new mix, or Stop

    void setStatus(State state, std::string detail = {}, int retry = 0) {
        std::lock_guard guard(lock);
        status.state = state;
        status.detail = std::move(detail);
        status.retryInSeconds = retry;
        if (state == State::Connected)
            ++status.connects;
    }
    std::pair<std::string, unsigned> titleAndCount() const {
        std::lock_guard guard(lock);
        return {title, titleCount};
    }
    void dropPending() { pcm.commitRead(pcm.readable()); }
};

namespace {

void initShoutOnce() {
    static std::once_flag once;
    std::call_once(once, [] { shout_init(); });
}

// Waits `seconds` on the sender's thread, dropping the mix as it comes;
// false when cancelled.
bool waitDropping(audio::SpscRing<audio::StereoFrame>& pcm, Wakeup& wake, int seconds,
                  const std::atomic<bool>& cancelled) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!cancelled && std::chrono::steady_clock::now() < until) {
        pcm.commitRead(pcm.readable());
        wake.waitUntil(until);
    }
    return !cancelled;
}

constexpr auto kConnectLimit = std::chrono::seconds(10);
constexpr auto kTitleLimit = std::chrono::seconds(3);
constexpr int kBacklogSeconds = 5; // unsent stream that means the server stopped taking it

// Runs a nonblocking libshout step until it is done, failed, timed out or
// cancelled: libshout answers SHOUTERR_BUSY while it is under way and has no
// descriptor to wait on, so the step is tried again every 10 ms (sooner when
// the mix arrives, at once when stopped).
template <typename Step>
int finish(Step step, int first, std::chrono::seconds limit, Wakeup& wake,
           const std::atomic<bool>& cancelled) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int result = first;
    while ((result == SHOUTERR_BUSY || result == SHOUTERR_RETRY) && !cancelled &&
           std::chrono::steady_clock::now() < until) {
        wake.waitFor(std::chrono::milliseconds(10));
        result = step();
    }
    return result;
}

void sendTitle(shout_t* shout, const std::string& title, Wakeup& wake,
               const std::atomic<bool>& cancelled) {
    shout_metadata_t* meta = shout_metadata_new();
    if (!meta)
        return;
    int result = shout_metadata_add(meta, "song", title.c_str());
    if (result == SHOUTERR_SUCCESS) {
        auto step = [&] { return shout_set_metadata_utf8(shout, meta); };
        result = finish(step, step(), kTitleLimit, wake, cancelled);
    }
    if (result != SHOUTERR_SUCCESS)
        qCWarning(lcBroadcast, "the title could not be sent: %s", shout_get_error(shout));
    shout_metadata_free(meta);
}

// Connects without ever blocking for longer than kConnectLimit: a server
// that accepts and then says nothing must not hold the sender.
int open(shout_t* shout, Wakeup& wake, const std::atomic<bool>& cancelled) {
    const int result = finish([shout] { return shout_get_connected(shout); }, shout_open(shout),
                              kConnectLimit, wake, cancelled);
    return result == SHOUTERR_CONNECTED ? SHOUTERR_SUCCESS : result;
}

shout_t* newShout(const IcecastSettings& s) {
    shout_t* shout = shout_new();
    if (!shout)
        return nullptr;
    const std::string bitrate = std::to_string(s.kbps);
    const bool ok =
        shout_set_host(shout, s.host.c_str()) == SHOUTERR_SUCCESS &&
        shout_set_port(shout, static_cast<unsigned short>(s.port)) == SHOUTERR_SUCCESS &&
        shout_set_mount(shout, s.mount.c_str()) == SHOUTERR_SUCCESS &&
        shout_set_user(shout, s.user.c_str()) == SHOUTERR_SUCCESS &&
        shout_set_password(shout, s.password.c_str()) == SHOUTERR_SUCCESS &&
        shout_set_protocol(shout, SHOUT_PROTOCOL_HTTP) == SHOUTERR_SUCCESS &&
        shout_set_nonblocking(shout, 1) == SHOUTERR_SUCCESS &&
        shout_set_content_format(
            shout, s.format == StreamFormat::Mp3 ? SHOUT_FORMAT_MP3 : SHOUT_FORMAT_OGG,
            SHOUT_USAGE_AUDIO, nullptr) == SHOUTERR_SUCCESS &&
        shout_set_meta(shout, SHOUT_META_NAME, s.name.c_str()) == SHOUTERR_SUCCESS &&
        shout_set_audio_info(shout, SHOUT_AI_BITRATE, bitrate.c_str()) == SHOUTERR_SUCCESS;
    if (!ok) {
        shout_free(shout);
        return nullptr;
    }
    return shout;
}

} // namespace

// One connection: encodes the mix as it comes and sends it, a title change
// included, until the server is lost, stops taking the stream or the source
// is stopped. Returns why it ended (empty when stopped).
static std::string stream(IcecastSource::Shared& s, shout_t* shout,
                          const std::atomic<bool>& cancelled);

IcecastSource::IcecastSource(IcecastSettings settings)
    : shared_(std::make_shared<Shared>(std::move(settings))) {}

IcecastSource::~IcecastSource() {
    stop();
}

std::string IcecastSource::address() const {
    const IcecastSettings& s = shared_->settings;
    return s.host + ":" + std::to_string(s.port) + s.mount;
}

void IcecastSource::setTitle(const std::string& title) {
    std::lock_guard guard(shared_->lock);
    shared_->title = title;
    ++shared_->titleCount;
}

IcecastSource::Status IcecastSource::currentStatus() const {
    std::lock_guard guard(shared_->lock);
    return shared_->status;
}

void IcecastSource::write(const audio::StereoFrame* frames, std::size_t count) {
    shared_->pcm.push(frames, count); // the sender is behind: the rest is lost
    shared_->wake.notify();
}

void IcecastSource::stop() {
    sender_.reset(); // cancels the sender
    shared_->wake.notify();
    shared_->setStatus(State::Stopped);
}

void IcecastSource::start() {
    initShoutOnce();
    shared_->setStatus(State::Connecting);
    sender_ = std::make_unique<BackgroundTask>(
        [shared = shared_](const std::atomic<bool>& cancelled) -> BackgroundTask::Completion {
            // A server that goes away turns the next send into SIGPIPE; blocked
            // here, the send fails with EPIPE instead.
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            int backoff = 1;
            while (!cancelled) {
                shout_t* shout = newShout(shared->settings);
                if (!shout) {
                    shared->setStatus(State::Stopped, "the server settings are not valid");
                    break;
                }
                std::string reason;
                if (const int opened = open(shout, shared->wake, cancelled);
                    opened == SHOUTERR_SUCCESS) {
                    backoff = 1;
                    reason = stream(*shared, shout, cancelled);
                } else {
                    reason = opened == SHOUTERR_BUSY ? "the server does not answer"
                                                     : shout_get_error(shout);
                }
                shout_close(shout);
                shout_free(shout);
                if (cancelled)
                    break;
                qCWarning(lcBroadcast, "Icecast %s:%d%s: %s; trying again in %d s",
                          shared->settings.host.c_str(), shared->settings.port,
                          shared->settings.mount.c_str(), reason.c_str(), backoff);
                shared->setStatus(State::Reconnecting, reason, backoff);
                if (!waitDropping(shared->pcm, shared->wake, backoff, cancelled))
                    break;
                backoff = std::min(backoff * 2, kMaxBackoffSeconds);
                shared->setStatus(State::Connecting);
            }
            return {};
        });
}

static std::string stream(IcecastSource::Shared& s, shout_t* shout,
                          const std::atomic<bool>& cancelled) {
    std::vector<unsigned char> pending;
    auto [title, titleCount] = s.titleAndCount();
    auto encoder = makeStreamEncoder(s.settings.format, s.settings.kbps, title,
                                     [&pending](const unsigned char* b, std::size_t n) {
                                         pending.insert(pending.end(), b, b + n);
                                     });
    if (!encoder)
        return "the encoder does not take " + std::to_string(s.settings.kbps) + " kbit/s";
    const bool mp3 = s.settings.format == StreamFormat::Mp3;
    if (mp3 && !title.empty())
        sendTitle(shout, title, s.wake, cancelled);
    s.dropPending(); // what came while connecting is old by now
    s.setStatus(IcecastSource::State::Connected);
    std::vector<audio::StereoFrame> block(4096);
    while (!cancelled) {
        if (auto [now, count] = s.titleAndCount(); count != titleCount) {
            titleCount = count;
            encoder->newTrack(now);
            if (mp3)
                sendTitle(shout, now, s.wake, cancelled);
        }
        const auto span = s.pcm.readSpan();
        const std::size_t n = std::min(span.size(), block.size());
        if (n == 0) {
            s.wake.waitFor(std::chrono::milliseconds(100)); // until the mix writes more
            continue;
        }
        std::copy_n(span.data(), n, block.data());
        s.pcm.commitRead(n);
        encoder->encode(block.data(), n);
        if (pending.empty())
            continue;
        // Queued by libshout when the socket is full, sent with the next.
        if (const int sent = shout_send(shout, pending.data(), pending.size());
            sent != SHOUTERR_SUCCESS && sent != SHOUTERR_BUSY)
            return shout_get_error(shout);
        pending.clear();
        if (shout_queuelen(shout) > kBacklogSeconds * s.settings.kbps * 1000 / 8)
            return "the server stopped taking the stream";
    }
    return {};
}
