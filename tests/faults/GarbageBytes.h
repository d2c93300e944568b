#pragma once

#include <random>
#include <string>

// Reproducible random bytes for files and answers that must make no sense.
inline std::string garbageBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}
