// HTML character references: "&amp;", "&#20013;", "&#x4E2D;" and the named ones help pages use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// The character a named reference stands for ("amp" -> '&'); nullopt for a name not known.
// Names are matched exactly, as browsers do, except the capitalised AMP, LT, GT and QUOT.
std::optional<char32_t> namedReference(std::string_view name);

struct Reference {
    char32_t character; // U+FFFD for a number that names no character
    std::size_t length; // of the reference as written, from its '&'
};

// Reads the reference whose '&' is at text[pos], in text of bytes or of decoded characters.
// In attribute values a reference ends with ';' (`semicolon` required); page text may leave
// it out. nullopt when no reference starts there: the '&' is then an ordinary character.
template <typename Char>
std::optional<Reference> readReference(std::basic_string_view<Char> text, std::size_t pos,
                                       bool semicolonRequired);

// Decodes the references in the value of an attribute. In UTF-8 text every reference is
// decoded; in 8-bit text of unknown code page only those to ASCII characters are, as nothing
// else has one right spelling there, and the rest are left as written. A no-break space
// becomes a plain one in both: such values are single-line labels and names.
std::string decodeReferences(std::string_view value, bool utf8);

template <typename Char>
std::optional<Reference> readReference(std::basic_string_view<Char> text, std::size_t pos,
                                       bool semicolonRequired) {
    constexpr std::size_t kLongestName = 10;
    constexpr std::size_t kLongestNumber = 8;
    const auto at = [&](std::size_t i) -> char32_t {
        if constexpr (sizeof(Char) == 1)
            return static_cast<unsigned char>(text[i]);
        else
            return text[i];
    };
    std::size_t p = pos + 1;
    char32_t character = 0;
    if (p < text.size() && at(p) == U'#') {
        ++p;
        const bool hex = p < text.size() && (at(p) == U'x' || at(p) == U'X');
        if (hex)
            ++p;
        std::uint32_t value = 0;
        const std::size_t start = p;
        while (p < text.size() && p - start < kLongestNumber) {
            const char32_t c = at(p);
            std::uint32_t digit = 0;
            if (c >= U'0' && c <= U'9')
                digit = c - U'0';
            else if (hex && c >= U'a' && c <= U'f')
                digit = c - U'a' + 10;
            else if (hex && c >= U'A' && c <= U'F')
                digit = c - U'A' + 10;
            else
                break;
            value = value * (hex ? 16u : 10u) + digit;
            ++p;
        }
        if (p == start)
            return std::nullopt;
        const bool named = value != 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
        character = named ? static_cast<char32_t>(value) : char32_t{0xFFFD};
    } else {
        std::string name;
        while (p < text.size() && name.size() < kLongestName) {
            const char32_t c = at(p);
            if (!((c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z')))
                break;
            name.push_back(static_cast<char>(c));
            ++p;
        }
        const std::optional<char32_t> known = namedReference(name);
        if (!known)
            return std::nullopt;
        character = *known;
    }
    if (p < text.size() && at(p) == U';')
        ++p;
    else if (semicolonRequired)
        return std::nullopt;
    return Reference{character, p - pos};
}

} // namespace text
