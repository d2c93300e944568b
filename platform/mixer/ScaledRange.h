#pragma once

#include <cstdint>

// Conversion between the mixer's fader scale 0..65535 and a device's own
// range. Both directions round to nearest, so that a value written and read
// back comes out unchanged whenever the device's range is at least as fine.
namespace mixer {

long toDeviceRange(std::uint32_t value, long min, long max);
std::uint32_t fromDeviceRange(long raw, long min, long max);

} // namespace mixer
