// ASCII letter case and blanks for byte strings of unknown code page: names of files, tags,
// options and attributes. Only ASCII is ever folded or trimmed; every other byte is kept.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace text {

constexpr char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

constexpr bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

inline std::string toLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

constexpr bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

constexpr bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

constexpr bool endsWithIgnoreCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           equalsIgnoreCase(s.substr(s.size() - suffix.size()), suffix);
}

// Orders names without regard to ASCII case; names that differ only in case still get a
// stable order.
inline bool lessIgnoreCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

constexpr std::string_view trimAscii(std::string_view s) {
    while (!s.empty() && isAsciiSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace text
