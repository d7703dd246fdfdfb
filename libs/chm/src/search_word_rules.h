// The word rule of the full-text index: which characters make words, which stand alone, and
// how words are lower-cased. Unicode's classes come from the C library.
#pragma once

namespace chm::detail {

inline bool isAsciiAlnum(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

// A letter, digit or underscore: part of a word. U+FFFD, for bytes that did not decode,
// separates words.
bool isWordCharacter(char32_t c);

// Characters that join the parts of a word around them when a word character follows: an
// apostrophe, which the word drops, and dots after a leading digit, which it keeps.
inline bool isApostrophe(char32_t c) {
    return c == U'\'';
}
inline bool isDigitDot(char32_t c) {
    return c == U'.';
}

// Scripts written without blanks between words: each character is a word.
bool isOwnWord(char32_t c);

char32_t toLowerUnicode(char32_t c);

} // namespace chm::detail
