#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// A Range header against a file of a known size. The answer never holds more
// than the file: at most kMaxRanges ranges are honoured, and overlapping or
// touching ones are merged. A header that cannot be read, or asks for more
// ranges, is ignored (the whole file is sent), as HTTP allows.
struct ByteRanges {
    static constexpr size_t kMaxRanges = 8;

    enum class Kind { WholeFile, Parts, Unsatisfiable };
    struct Part {
        std::int64_t first = 0;
        std::int64_t last = 0; // inclusive
    };

    static ByteRanges of(std::string_view header, std::int64_t size);

    Kind kind = Kind::WholeFile;
    std::vector<Part> parts; // sorted, disjoint, within the file
};
