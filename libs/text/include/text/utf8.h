// UTF-8: checking bytes for it, reading characters from it and writing them into it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

bool isAscii(std::string_view bytes);

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF. ASCII is UTF-8.
bool isUtf8(std::string_view bytes);

// True when the bytes are valid UTF-8 and hold at least one non-ASCII character, i.e. when
// they can only sensibly be read as UTF-8.
inline bool isNonAsciiUtf8(std::string_view bytes) {
    return !isAscii(bytes) && isUtf8(bytes);
}

// The character whose sequence starts at bytes[pos] in text already known to be valid UTF-8;
// `length` receives its length in bytes.
inline char32_t utf8At(std::string_view bytes, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[pos + k]));
    };
    const char32_t c = byte(0);
    if (c < 0x80) {
        length = 1;
        return c;
    }
    if (c < 0xE0) {
        length = 2;
        return ((c & 0x1F) << 6) | (byte(1) & 0x3F);
    }
    if (c < 0xF0) {
        length = 3;
        return ((c & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    }
    length = 4;
    return ((c & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
           (byte(3) & 0x3F);
}

// Appends the character; one UTF-8 cannot hold (a surrogate, beyond U+10FFFF) becomes U+FFFD.
void appendUtf8(std::string& out, char32_t c);

} // namespace text
