#pragma once

#include "broadcast/BroadcastMix.h"
#include "broadcast/StreamEncoder.h"

#include <memory>
#include <string>

// Records the show: the mix as an Ogg Opus file, written page by page
// straight to the file (no buffer in the program), so that whatever
// happens to the program, the file plays to within a page (250 ms) of the
// moment it stopped. The file is the user's alone (0600).
class ShowRecorder : public MixSink {
public:
    static constexpr int kKbps = 128;

    ShowRecorder() = default;
    ~ShowRecorder() override;
    // False with the reason when the file cannot be made.
    bool open(const std::string& path, std::string* why);
    void write(const audio::StereoFrame* frames, std::size_t count) override;

private:
    int fd_ = -1;
    bool failed_ = false; // a write failed (disk full): the recording ends there
    std::unique_ptr<StreamEncoder> encoder_;
};
