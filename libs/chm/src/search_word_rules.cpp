// Unicode character classes for the word rule, and splitting text into words.
#include "search_word_rules.h"

#include "chm/search_words.h"

#include <locale.h>
#include <wctype.h>

namespace chm {

namespace detail {

namespace {

// Unicode character classes come from the C library's UTF-8 locale, which every glibc has
// built in; without it only ASCII is classified and everything beyond counts as a letter.
locale_t unicodeLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (l == static_cast<locale_t>(nullptr))
            l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

} // namespace

bool isWordCharacter(char32_t c) {
    if (c < 0x80)
        return isAsciiAlnum(c) || c == U'_';
    if (c == 0xFFFD || c > 0x10FFFF)
        return false;
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return true;
    return iswalnum_l(static_cast<wint_t>(c), locale) != 0;
}

char32_t toLowerUnicode(char32_t c) {
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

bool isOwnWord(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || // hiragana, katakana
           (c >= 0x3400 && c <= 0x4DBF) || // CJK extension A
           (c >= 0x4E00 && c <= 0x9FFF) || // CJK unified ideographs
           (c >= 0xF900 && c <= 0xFAFF) || // CJK compatibility ideographs
           (c >= 0xFF66 && c <= 0xFF9F) || // half-width katakana
           (c >= 0x20000 && c <= 0x3FFFF); // CJK extensions B and beyond
}

} // namespace detail

void splitWords(std::u32string_view text, std::vector<std::u32string>& words) {
    std::u32string word;
    auto finish = [&] {
        if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    };
    const auto joinsAt = [&](std::size_t i) {
        return i < text.size() && detail::isWordCharacter(text[i]) && !detail::isOwnWord(text[i]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (!detail::isWordCharacter(c)) {
            if (!word.empty() && detail::isApostrophe(c) && joinsAt(i + 1))
                continue;
            if (!word.empty() && detail::isDigitDot(c) && word[0] >= U'0' && word[0] <= U'9') {
                std::size_t end = i;
                while (end < text.size() && detail::isDigitDot(text[end]))
                    ++end;
                if (joinsAt(end)) {
                    word.append(text.substr(i, end - i));
                    i = end - 1;
                    continue;
                }
            }
            finish();
            continue;
        }
        if (detail::isOwnWord(c)) {
            finish();
            words.push_back(std::u32string(1, c));
            continue;
        }
        word.push_back(detail::toLowerUnicode(c));
    }
    finish();
}

} // namespace chm
