#include "catalog/Genres.h"

#include <algorithm>

namespace genres {

std::string key(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'A' && byte <= 'Z')
            key.push_back(static_cast<char>(byte - 'A' + 'a'));
        else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte >= 0x80)
            key.push_back(c);
    }
    return key;
}

std::vector<std::string> keysOfField(std::string_view field) {
    std::vector<std::string> keys;
    size_t start = 0;
    while (start <= field.size()) {
        size_t end = field.find_first_of(";/,", start);
        if (end == std::string_view::npos)
            end = field.size();
        std::string key = genres::key(field.substr(start, end - start));
        if (!key.empty() && std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(std::move(key));
        start = end + 1;
    }
    return keys;
}

std::optional<YearRange> decadeOfTag(std::string_view tag) {
    std::string_view digits = tag;
    // A decade ends in "'s" or "s" ("80's", "80s", "1980s"); a bare number is no decade.
    if (digits.size() > 2 && digits.substr(digits.size() - 2) == "'s")
        digits.remove_suffix(2);
    else if (!digits.empty() && (digits.back() == 's' || digits.back() == 'S'))
        digits.remove_suffix(1);
    else
        return std::nullopt;
    if ((digits.size() != 2 && digits.size() != 4) ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int year = 0;
    for (const char c : digits)
        year = year * 10 + (c - '0');
    if (year % 10 != 0)
        return std::nullopt;
    if (digits.size() == 2)
        year += year >= 30 ? 1900 : 2000;
    return YearRange{year, year + 9};
}

} // namespace genres
