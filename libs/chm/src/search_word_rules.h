// The word rule of the full-text index: which characters make words, which stand alone, and
// how words are lower-cased. Unicode's classes come from the C library.
#pragma once

namespace chm::detail {

inline bool isAsciiAlnum(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

// A letter or digit: part of a word. U+FFFD, for bytes that did not decode, separates words.
bool isWordCharacter(char32_t c);

// Scripts written without blanks between words: each character is a word.
bool isOwnWord(char32_t c);

char32_t toLowerUnicode(char32_t c);

} // namespace chm::detail
