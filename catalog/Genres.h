#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How genre names and genre tags are compared. Tags name genres loosely
// ("Hip Hop", "Hip-Hop", "hiphop"; "R&B"), so both sides are reduced to a key
// of lower-case letters and digits.
namespace genres {

// The key of a genre name: ASCII letters lowered, digits and non-ASCII bytes
// kept, blanks and punctuation dropped. "Hip-Hop" and "Hip Hop" give "hiphop".
std::string key(std::string_view name);

// The genres one tag field names: several may be given, separated by ";",
// "/" or ",". Returns their keys, without empty or repeated ones.
std::vector<std::string> keysOfField(std::string_view field);

// The years a decade tag stands for: "60's", "80s", "1990s", "00's" ...
struct YearRange {
    int first = 0;
    int last = 0;
};
std::optional<YearRange> decadeOfTag(std::string_view tag);

} // namespace genres
