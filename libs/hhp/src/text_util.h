// Small byte-string helpers shared by the project and link readers. Every text these readers
// see is 8-bit bytes of unknown code page; letter case and blanks are text/ascii.h's.
#pragma once

#include "text/ascii.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hhp::detail {

// Lines without their terminators; CR LF, LF and a lone CR all end a line.
inline std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// "0x1A2b" or "123"; nullopt for anything else or a value beyond 32 bits.
inline std::optional<std::uint32_t> parseNumber(std::string_view s) {
    s = text::trimAscii(s);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    bool negative = false;
    if (base == 10 && !s.empty() && s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : s) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    if (negative)
        return static_cast<std::uint32_t>(-static_cast<std::int64_t>(value));
    return static_cast<std::uint32_t>(value);
}

// Project and sitemap names use either separator; inside the compiled file it is always '/'.
inline std::string slashes(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\\')
            c = '/';
    return out;
}

} // namespace hhp::detail
