#include "catalog/ByteRanges.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only (no sign, no spaces); nothing when empty or too large.
std::optional<std::int64_t> number(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

ByteRanges ByteRanges::of(std::string_view header, std::int64_t size) {
    ByteRanges whole;
    header = trim(header);
    if (!header.starts_with("bytes="))
        return whole;
    header.remove_prefix(6);
    std::vector<Part> wanted;
    bool anyRange = false;
    while (!header.empty()) {
        const size_t comma = header.find(',');
        const std::string_view range = trim(header.substr(0, comma));
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
        if (range.empty())
            continue;
        anyRange = true;
        const size_t dash = range.find('-');
        if (dash == std::string_view::npos)
            return whole;
        const auto first =
            dash == 0 ? std::optional<std::int64_t>(-1) : number(range.substr(0, dash));
        const auto last = dash + 1 == range.size() ? std::optional<std::int64_t>(-1)
                                                   : number(range.substr(dash + 1));
        if (!first || !last || (*first < 0 && *last < 0) ||
            (*first >= 0 && *last >= 0 && *last < *first))
            return whole;
        if (*first < 0) { // the last N bytes
            if (*last > 0 && size > 0)
                wanted.push_back({std::max<std::int64_t>(size - *last, 0), size - 1});
        } else if (*first < size) {
            wanted.push_back({*first, *last < 0 ? size - 1 : std::min(*last, size - 1)});
        }
        if (wanted.size() > 64 * kMaxRanges) // reading on would only waste time
            return whole;
    }
    if (!anyRange)
        return whole;
    if (wanted.empty())
        return ByteRanges{Kind::Unsatisfiable, {}};
    std::sort(wanted.begin(), wanted.end(),
              [](const Part& a, const Part& b) { return a.first < b.first; });
    ByteRanges result{Kind::Parts, {}};
    for (const Part& part : wanted) {
        if (!result.parts.empty() && part.first <= result.parts.back().last + 1)
            result.parts.back().last = std::max(result.parts.back().last, part.last);
        else
            result.parts.push_back(part);
    }
    if (result.parts.size() > kMaxRanges)
        return whole;
    return result;
}
