#include "base/shown_text.h"

#include <cstdint>
#include <cstdio>

namespace shown {

namespace {

// The code point of a well-formed UTF-8 sequence at text[at] and its
// length, or length 0 when the bytes there are not one.
struct Decoded {
    std::uint32_t code = 0;
    std::size_t length = 0;
};

Decoded decode(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;  // smallest code point of that length (no overlong forms)
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, code = b0 & 0x1Fu, least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, code = b0 & 0x0Fu, least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, code = b0 & 0x07u, least = 0x10000;
    } else {
        return {};
    }
    if (at + length > text.size()) {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {};
        }
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    return {code, length};
}

void append_hex(std::string* out, unsigned char c)
{
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    *out += hex;
}

} // namespace

std::size_t printable_sequence(std::string_view text, std::size_t at)
{
    const Decoded d = decode(text, at);
    const bool control = d.code < 0x20 || (d.code >= 0x7F && d.code < 0xA0);
    const bool noncharacter = d.code == 0xFFFE || d.code == 0xFFFF;
    return control || noncharacter ? 0 : d.length;
}

std::string text(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t n = printable_sequence(raw, at);
        if (n == 0) {
            append_hex(&out, static_cast<unsigned char>(raw[at]));
            ++at;
        } else {
            out.append(raw.substr(at, n));
            at += n;
        }
    }
    return out;
}

std::string xml(std::string_view raw)
{
    std::string out;
    for (char c : text(raw)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string utf8(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t n = decode(raw, at).length;
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(raw.substr(at, n));
            at += n;
        }
    }
    return out;
}

} // namespace shown
