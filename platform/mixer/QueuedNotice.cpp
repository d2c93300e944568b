#include "platform/mixer/QueuedNotice.h"

#include <atomic>

namespace mixer {

QueuedNotice::QueuedNotice(ChangeNotice notice)
    : notice_(std::move(notice))
    , context_(std::make_unique<QObject>()) {}

QueuedNotice::~QueuedNotice() = default;

void QueuedNotice::post(std::uint32_t mixerHandle, std::uint32_t controlId) {
    if (!notice_)
        return;
    QMetaObject::invokeMethod(
        context_.get(),
        [notice = notice_, mixerHandle, controlId] { notice(mixerHandle, controlId); },
        Qt::QueuedConnection);
}

std::uint32_t NextMixerHandle() {
    static std::atomic<std::uint32_t> next{0x100};
    return next++;
}

} // namespace mixer
