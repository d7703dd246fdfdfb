// What the full-text index calls a word, and how a page's text is found: pages are decoded to
// Unicode, their markup is dropped, words are cut and lower-cased there, and each word is then
// stored in the help file's ANSI code page, which is what viewers search in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace chm {

// Decodes plain text (a stop list, a query typed as UTF-8, a page that names no character set):
// valid UTF-8 as UTF-8, anything else in codePage. Bytes that do not decode become U+FFFD,
// which separates words.
std::u32string decodeText(std::string_view bytes, std::uint32_t codePage);

// Splits text into words as Microsoft's indexes cut them. A word is a run of letters, digits
// (Unicode's classes) and underscores ("mb_ok"); an apostrophe inside a word is dropped
// ("don't" is "dont"), and dots inside a word that begins with a digit are kept ("1.0.51",
// "7z.exe"). Every other character separates words. Han ideographs and Japanese kana are
// written without blanks between words, so each of them is a word of its own: a query of
// several such characters is answered as a phrase. Words come back lower-cased, in order.
void splitWords(std::u32string_view text, std::vector<std::u32string>& words);

// Encodes words into a Windows ANSI code page. Every code page a help file can use maps each
// character to a fixed byte sequence, so characters are converted once and remembered.
class WordEncoder {
public:
    explicit WordEncoder(std::uint32_t codePage);
    ~WordEncoder();
    WordEncoder(const WordEncoder&) = delete;
    WordEncoder& operator=(const WordEncoder&) = delete;

    // False when the code page is unknown here; words are then stored as UTF-8.
    bool knownCodePage() const;
    // The word's bytes in out; false (out unspecified) when a character has no encoding.
    bool encode(std::u32string_view word, std::string& out);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Longest word the index holds, in bytes; longer runs are not indexed.
inline constexpr std::size_t kMaxIndexedWord = 99;

// The words of one page, cut and encoded for the index, titles first, back to back in one
// buffer. An empty word keeps the place of one that cannot be stored (too long, or not in the
// code page).
struct PageWords {
    std::string bytes;
    std::vector<std::uint32_t> ends; // where each word ends in bytes
    std::size_t titleWords = 0;

    std::size_t size() const { return ends.size(); }
    std::string_view word(std::size_t i) const {
        const std::uint32_t start = i == 0 ? 0 : ends[i - 1];
        return std::string_view(bytes).substr(start, ends[i] - start);
    }
    void clear() {
        bytes.clear();
        ends.clear();
        titleWords = 0;
    }
};

// Cuts pages into the words the index stores, titles first. A page that names its character
// set is read in it, any other as decodeText reads it; markup, comments, scripts and style
// sheets are dropped, character references decoded, and every tag separates words. ASCII and
// UTF-8 pages, and pages in a single-byte code page, are decoded without iconv, and no string
// is made per word. Buffers and what is learnt about characters are kept from page to page:
// use one per thread.
class PageCutter {
public:
    explicit PageCutter(std::uint32_t codePage);
    ~PageCutter();
    PageCutter(const PageCutter&) = delete;
    PageCutter& operator=(const PageCutter&) = delete;

    // out is replaced.
    void cut(std::string_view html, PageWords& out);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace chm
