// Languages and their Windows ANSI code pages. Every 8-bit string inside a compiled help file
// is in the code page of the project's language, so the compiler converts text that arrives
// as UTF-8 into it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hhp {

// The Windows ANSI code page of a language (LCID); 1252 for languages we do not know.
std::uint32_t codePageForLcid(std::uint32_t lcid);

// The iconv name of a Windows code page; empty when iconv cannot be asked for it.
std::string iconvNameForCodePage(std::uint32_t codePage);

// True when the bytes are valid UTF-8 and hold at least one non-ASCII character, i.e. when
// they can only sensibly be read as UTF-8.
bool isNonAsciiUtf8(std::string_view bytes);

// Result of converting one piece of UTF-8 text into a code page. Characters the code page
// cannot hold become '?', and `lossy` says so.
struct Conversion {
    std::string text;
    bool lossy = false;
    bool ok = true; // false when the code page is unknown to iconv (text left as it was)
};

Conversion fromUtf8(std::string_view utf8, std::uint32_t codePage);

// The reverse, for tests and for messages; nullopt when the bytes are not in that code page.
std::optional<std::string> toUtf8(std::string_view bytes, std::uint32_t codePage);

// Converts the lines of a text that are non-ASCII UTF-8 to the code page, leaving every other
// line (and every line end) byte for byte. Pages' titles arrive in sitemaps as their own
// bytes, so one file may mix encodings: the decision is taken line by line. Calls
// `onLoss(lineNumber)` for each line holding a character the code page cannot hold. A leading
// UTF-8 byte-order mark is not judged as text: it is kept when nothing needed converting
// (the text comes back byte for byte) and dropped when lines were converted.
template <typename OnLoss>
std::string convertUtf8Lines(std::string_view text, std::uint32_t codePage, OnLoss&& onLoss);

std::string convertUtf8LinesImpl(std::string_view text, std::uint32_t codePage,
                                 void (*onLoss)(void*, int), void* context);

template <typename OnLoss>
std::string convertUtf8Lines(std::string_view text, std::uint32_t codePage, OnLoss&& onLoss) {
    return convertUtf8LinesImpl(
        text, codePage,
        [](void* context, int line) {
            (*static_cast<std::remove_reference_t<OnLoss>*>(context))(line);
        },
        &onLoss);
}

} // namespace hhp
