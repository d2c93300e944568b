#pragma once

#include "platform/wavein/WaveIn.h"

#include <QEvent>

namespace wavein {

// The notification a window callback receives: the message (MM_WIM_OPEN,
// MM_WIM_DATA, MM_WIM_CLOSE), the device and, for MM_WIM_DATA, the header.
class WaveInEvent : public QEvent {
public:
    static QEvent::Type EventType();
    WaveInEvent(unsigned message, HWAVEIN device, WAVEHDR* header)
        : QEvent(EventType())
        , message(message)
        , device(device)
        , header(header) {}
    const unsigned message;
    const HWAVEIN device;
    WAVEHDR* const header;
};

} // namespace wavein
