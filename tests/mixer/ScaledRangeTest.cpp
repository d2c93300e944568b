#include "platform/mixer/ScaledRange.h"

#include <gtest/gtest.h>

using namespace mixer;

// Every fader value survives the trip through a device range at least as fine
// as 0..65535 (the sound server's is 0..65536).
TEST(ScaledRange, EveryValueRoundTripsThroughFineRanges) {
    for (const auto& [min, max] : {std::pair{0L, 65536L}, {0L, 65535L}, {-3000L, 262144L}}) {
        for (std::uint32_t v = 0; v <= 65535; ++v) {
            const long raw = toDeviceRange(v, min, max);
            ASSERT_GE(raw, min);
            ASSERT_LE(raw, max);
            ASSERT_EQ(fromDeviceRange(raw, min, max), v) << "range " << min << ".." << max;
        }
    }
}

TEST(ScaledRange, EndsMapToEndsAndOutOfRangeIsClamped) {
    EXPECT_EQ(toDeviceRange(0, -10, 90), -10);
    EXPECT_EQ(toDeviceRange(65535, -10, 90), 90);
    EXPECT_EQ(toDeviceRange(70000, 0, 100), 100);
    EXPECT_EQ(fromDeviceRange(-50, 0, 100), 0u);
    EXPECT_EQ(fromDeviceRange(150, 0, 100), 65535u);
    EXPECT_EQ(fromDeviceRange(5, 7, 7), 0u); // empty range
    // 67 per cent of 0..65535 lands on the server's 67 per cent.
    EXPECT_EQ(toDeviceRange(43908, 0, 65536), 43909);
}
