// Sitemaps and other project texts on their way into the project's code page. Every 8-bit
// string inside a compiled help file is in the code page of the project's language, so the
// compiler converts text that arrives as UTF-8 into it.
#pragma once

#include "text/code_page.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hhp {

// The code-page table and conversions are the text library's; the compiler names them here.
using text::codePageForLcid;
using text::Conversion;
using text::fromUtf8;
using text::iconvNameForCodePage;
using text::isNonAsciiUtf8;
using text::toUtf8;

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
