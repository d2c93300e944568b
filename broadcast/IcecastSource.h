#pragma once

#include "broadcast/BroadcastMix.h"
#include "broadcast/StreamEncoder.h"

#include <memory>
#include <string>

class BackgroundTask;

struct IcecastSettings {
    std::string host = "127.0.0.1";
    int port = 8000;
    std::string mount = "/live";
    std::string user = "source";
    std::string password;
    StreamFormat format = StreamFormat::Mp3;
    int kbps = 128;
    std::string name = "Kolvadeck";
};

// A source for an Icecast (or SHOUTcast-compatible) server through libshout:
// the mix, encoded on the sender's own thread, sent to one mount. The title
// ("Artist - Title") goes with every track start and again after every
// reconnect: as ICY metadata on an MP3 mount, as the comments of a new
// chained Ogg stream on an Opus one.
//
// A lost or refused connection is tried again after 1, 2, 4 ... up to 30 s
// (1 s again once one holds); meanwhile the mix keeps coming and is dropped,
// so the decks, the recording and the local relay never wait for the
// server, and a reconnected stream is live, not late. The password goes to
// the server only; it is never logged nor put into a status.
class IcecastSource : public MixSink {
public:
    enum class State { Connecting, Connected, Reconnecting, Stopped };
    struct Status {
        State state = State::Stopped;
        std::string detail; // the reason of a reconnect
        int retryInSeconds = 0;
        int connects = 0; // connections made so far
    };
    static constexpr int kMaxBackoffSeconds = 30;

    explicit IcecastSource(IcecastSettings settings);
    ~IcecastSource() override;

    // Starts the sender; Stop (or destruction) ends it, without waiting: the
    // sender leaves on its own, closing the connection.
    void start();
    void stop();
    // Any thread.
    void setTitle(const std::string& title);
    Status currentStatus() const;
    // Mix thread.
    void write(const audio::StereoFrame* frames, std::size_t count) override;

    // "host:port/mount"
    std::string address() const;

    // What the sender's thread shares with the source.
    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<BackgroundTask> sender_;
};
