#include "search/Base64.h"

#include <stdexcept>

namespace {
unsigned valueOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned>(c - 'a') + 26;
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0') + 52;
    if (c == '+')
        return 62;
    return 63;
}
} // namespace

std::string base64Decode(const std::string& text) {
    if (text.size() % 4 != 0)
        throw std::runtime_error("Base64: Incorrect string format");
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const unsigned a = valueOf(text[i]), b = valueOf(text[i + 1]);
        const unsigned c = valueOf(text[i + 2]), d = valueOf(text[i + 3]);
        const bool last = i + 4 == text.size();
        int bytes = 3;
        if (last && text[i + 2] == '=')
            bytes = 1;
        else if (last && text[i + 3] == '=')
            bytes = 2;
        out.push_back(static_cast<char>((a << 2 | b >> 4) & 0xFF));
        if (bytes >= 2)
            out.push_back(static_cast<char>((b << 4 | c >> 2) & 0xFF));
        if (bytes == 3)
            out.push_back(static_cast<char>((c << 6 | d) & 0xFF));
    }
    return out;
}

std::string trimRight(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(0, end);
}
