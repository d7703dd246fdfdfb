// UTF-8 checks, eight ASCII bytes at a time where they can be.
#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace text {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

} // namespace

bool isAscii(std::string_view bytes) {
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t chunk = 0;
        std::memcpy(&chunk, bytes.data() + i, 8);
        any |= chunk;
    }
    for (; i < bytes.size(); ++i)
        any |= static_cast<std::uint8_t>(bytes[i]);
    return (any & kHighBits) == 0;
}

bool isUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            // Markup and Western text: skip ASCII eight bytes at a time.
            ++p;
            while (end - p >= 8) {
                std::uint64_t chunk = 0;
                std::memcpy(&chunk, p, 8);
                if ((chunk & kHighBits) != 0)
                    break;
                p += 8;
            }
        } else if (c >= 0xC2 && c <= 0xDF) {
            if (end - p < 2 || !continuation(p[1]))
                return false;
            p += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (end - p < 3 || !continuation(p[1]) || !continuation(p[2]))
                return false;
            const unsigned v = ((c & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))
                return false;
            p += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (end - p < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3]))
                return false;
            const unsigned v = ((c & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                               ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
            if (v < 0x10000 || v > 0x10FFFF)
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace text
