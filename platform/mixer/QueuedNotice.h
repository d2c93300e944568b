#pragma once

#include "platform/mixer/Mixer.h"

#include <QObject>
#include <cstdint>
#include <memory>

namespace mixer {

// Hands change notices of one open mixer to the event loop of the thread that
// opened it. Notices still queued when this object is destroyed are dropped,
// so a closed mixer never reports.
class QueuedNotice {
public:
    explicit QueuedNotice(ChangeNotice notice);
    ~QueuedNotice();

    bool wanted() const { return static_cast<bool>(notice_); }
    void post(std::uint32_t mixerHandle, std::uint32_t controlId);

private:
    ChangeNotice notice_;
    std::unique_ptr<QObject> context_;
};

// A fresh handle value for an opened mixer.
std::uint32_t NextMixerHandle();

} // namespace mixer
