#include "catalog/QueryString.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Piece {
    std::string name;
    std::string rawValue;
};

} // namespace

std::optional<std::string> formDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+') {
            c = ' ';
        }
        if (c == '\0')
            return std::nullopt;
        out.push_back(c);
    }
    return out;
}

std::optional<QueryString> QueryString::parse(std::string_view raw,
                                              std::initializer_list<std::string_view> names) {
    const auto known = [&](std::string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    std::vector<Piece> pieces;
    size_t start = 0;
    while (start <= raw.size()) {
        size_t end = raw.find('&', start);
        if (end == std::string_view::npos)
            end = raw.size();
        const std::string_view piece = raw.substr(start, end - start);
        const size_t equals = piece.find('=');
        const std::string_view name =
            equals == std::string_view::npos ? std::string_view() : piece.substr(0, equals);
        if (equals != std::string_view::npos && known(name)) {
            pieces.push_back({std::string(name), std::string(piece.substr(equals + 1))});
        } else if (!pieces.empty()) {
            pieces.back().rawValue += '&';
            pieces.back().rawValue += piece;
        }
        // Text before the first known parameter belongs to no value: ignored.
        start = end + 1;
    }
    QueryString query;
    for (const Piece& p : pieces) {
        std::optional<std::string> value = formDecode(p.rawValue);
        if (!value)
            return std::nullopt;
        // The player appends its own parameters after the text, so the later
        // of two equal names is the one it meant.
        query.values_[p.name] = std::move(*value);
    }
    return query;
}

std::string QueryString::get(const std::string& name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::string() : found->second;
}

std::optional<long long> QueryString::number(const std::string& name, long long fallback,
                                             long long minimum, long long maximum) const {
    const auto found = values_.find(name);
    if (found == values_.end() || found->second.empty())
        return fallback;
    const std::string& text = found->second;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum ||
        value > maximum)
        return std::nullopt;
    return value;
}
