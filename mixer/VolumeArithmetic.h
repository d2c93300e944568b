#pragma once

#include <cstdint>

// The master volume's mapping between volume 0..100 with balance -100..100
// and the two raw channel levels 0..65535. Divisions truncate, so a volume
// written as 67 (raw 43908) reads back as 66.
struct ChannelLevels {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
};

struct VolumeAndBalance {
    int volume = 0;
    int balance = 0;
};

// Volume must be within 0..100 and balance within -100..100.
ChannelLevels levelsFor(int volume, int balance);

// Levels above 65535 count as 65535.
VolumeAndBalance volumeAndBalanceOf(ChannelLevels levels);
