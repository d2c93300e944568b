#pragma once

#include "platform/CallInbox.h"
#include "platform/mixer/Mixer.h"

#include <cstdint>

namespace mixer {

// Hands change notices of one open mixer to the event loop of the thread that
// opened it. Notices still queued when this object is destroyed are dropped,
// so a closed mixer never reports.
class QueuedNotice {
public:
    explicit QueuedNotice(ChangeNotice notice)
        : notice_(std::move(notice)) {}

    bool wanted() const { return static_cast<bool>(notice_); }
    void post(std::uint32_t mixerHandle, std::uint32_t controlId);

private:
    ChangeNotice notice_;
    CallInbox inbox_;
};

// A fresh handle value for an opened mixer.
std::uint32_t nextMixerHandle();

} // namespace mixer
