#include "platform/mixer/QueuedNotice.h"

#include <atomic>

namespace mixer {

void QueuedNotice::post(std::uint32_t mixerHandle, std::uint32_t controlId) {
    if (notice_)
        inbox_.send([notice = notice_, mixerHandle, controlId] { notice(mixerHandle, controlId); });
}

std::uint32_t nextMixerHandle() {
    static std::atomic<std::uint32_t> next{0x100};
    return next++;
}

} // namespace mixer
