#include "mixer/VolumeArithmetic.h"

#include <algorithm>

namespace {
constexpr std::int64_t kFullScale = 65535;
}

ChannelLevels levelsFor(int volume, int balance) {
    const std::int64_t x = std::int64_t{volume} * kFullScale / 100;
    if (balance < 0)
        return {static_cast<std::uint32_t>(x),
                static_cast<std::uint32_t>(x * (balance + 100) / 100)};
    return {static_cast<std::uint32_t>(x * (100 - balance) / 100), static_cast<std::uint32_t>(x)};
}

VolumeAndBalance volumeAndBalanceOf(ChannelLevels levels) {
    const std::int64_t left = std::min<std::int64_t>(levels.left, kFullScale);
    const std::int64_t right = std::min<std::int64_t>(levels.right, kFullScale);
    const int volume = static_cast<int>(std::max(left, right) * 100 / kFullScale);
    if (volume == 0)
        return {0, 0};
    // Volume above 0 means the larger channel is above 0, so the divisor is too.
    const std::int64_t divisor = right < left ? left : right;
    return {volume, static_cast<int>((right - left) * 100 / divisor)};
}
