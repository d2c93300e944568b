#include "catalog/XmlText.h"

namespace xmltext {
namespace {

// Length of the UTF-8 sequence starting at text[i] and its code point, or 0
// when the bytes there are not a valid, shortest-form sequence.
size_t decodeUtf8(std::string_view text, size_t i, char32_t& code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF)
        return 0;
    return length;
}

bool allowedInXml(char32_t c) {
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace

void appendEscaped(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const size_t length = decodeUtf8(text, i, code);
        if (length == 0) {
            ++i; // a stray byte of broken UTF-8
            continue;
        }
        if (allowedInXml(code)) {
            switch (code) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            // Line breaks and tabs as references, so attribute values keep them.
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                out.append(text.substr(i, length));
            }
        }
        i += length;
    }
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text);
    return out;
}

void appendElement(std::string& out, std::string_view name, std::string_view text) {
    out += '<';
    out += name;
    if (text.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    appendEscaped(out, text);
    out += "</";
    out += name;
    out += '>';
}

} // namespace xmltext
