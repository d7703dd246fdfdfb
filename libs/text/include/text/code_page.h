// Languages and their Windows ANSI code pages, and conversions between those code pages and
// UTF-8. Every 8-bit string inside a compiled help file is in the code page of the file's
// language: the compiler converts into it and the viewer decodes from it, through this one
// table, so that both always agree.
#pragma once

#include "text/utf8.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// The Windows ANSI code page of a language (LCID); 1252 for languages we do not know.
std::uint32_t codePageForLcid(std::uint32_t lcid);

// The iconv name of a Windows code page; empty when iconv cannot be asked for it.
std::string iconvNameForCodePage(std::uint32_t codePage);

// The name a web browser knows the code page by (as in a page's charset); empty if none.
std::string webCharsetForCodePage(std::uint32_t codePage);

// Result of converting one piece of UTF-8 text into a code page. Characters the code page
// cannot hold become '?', and `lossy` says so.
struct Conversion {
    std::string text;
    bool lossy = false;
    bool ok = true; // false when the code page is unknown to iconv (text left as it was)
};

Conversion fromUtf8(std::string_view utf8, std::uint32_t codePage);

// The reverse; nullopt when the bytes are not in that code page.
std::optional<std::string> toUtf8(std::string_view bytes, std::uint32_t codePage);

// UTF-16 for text that is either non-ASCII UTF-8 or in the code page (a code page iconv does
// not know is read as UTF-8); a byte that reads as neither becomes '?'.
std::u16string toUtf16(std::string_view bytes, std::uint32_t codePage);

// For showing text whatever it holds: ASCII as it is, then the code page, then UTF-8, and
// finally the code page again with every byte it cannot read replaced by U+FFFD.
std::string displayUtf8(std::string_view bytes, std::uint32_t codePage);

} // namespace text
