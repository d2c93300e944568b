#include "platform/mixer/ScaledRange.h"

#include "platform/mixer/MixerTypes.h"

#include <algorithm>

namespace mixer {

long toDeviceRange(std::uint32_t value, long min, long max) {
    if (max <= min)
        return min;
    const std::int64_t span = std::int64_t{max} - min;
    const std::int64_t v = std::min<std::uint32_t>(value, kMaxVolume);
    return static_cast<long>(min + (v * span + kMaxVolume / 2) / kMaxVolume);
}

std::uint32_t fromDeviceRange(long raw, long min, long max) {
    if (max <= min)
        return 0;
    const std::int64_t span = std::int64_t{max} - min;
    const std::int64_t r = std::clamp<std::int64_t>(std::int64_t{raw} - min, 0, span);
    return static_cast<std::uint32_t>((r * kMaxVolume + span / 2) / span);
}

} // namespace mixer
