// Which character set a page is in: the one it declares, or UTF-8 or the help file's code
// page, by the rule the full-text index decodes pages with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace chm::detail {

// The character set a page declares in a <meta> element, as an iconv name; empty if none.
std::string declaredCharset(std::string_view html);

// Character sets whose first 128 characters are ASCII's, so an ASCII page reads the same in
// them without a converter.
bool asciiCompatible(const std::string& charset);

// The Windows code page a page's character set names ("cp1251", "windows-1252"); 0 if none.
std::uint32_t namedCodePage(std::string_view charset);

// Single-byte code pages whose converter maps byte by byte. Those of Hebrew and Vietnamese
// (1255, 1258) join a letter and a following accent into one character, so they are not.
bool byteByByte(std::uint32_t codePage);

// Decodes bytes in the character set; false when iconv does not know it. A byte that starts
// no valid sequence becomes U+FFFD and decoding goes on after it.
bool decodeWith(const std::string& charset, std::string_view bytes, std::u32string& out);

} // namespace chm::detail
