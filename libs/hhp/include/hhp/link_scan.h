// What the compiler reads from pages and style sheets: the local files they refer to, so that a
// project listing only its pages still gets their images, style sheets, frames and objects
// compiled in, and a page's title for its topic entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hhp {

// References in an HTML page: src, href, background, data, codebase of any tag, the file of
// an object's movie/src/filename/url parameter, and CSS url(...) in style blocks and style
// attributes. Only local references are returned (no scheme, no "//host", no pure "#anchor"),
// with their fragment and query removed and %XX escapes decoded, in order of appearance,
// each once.
std::vector<std::string> scanHtmlLinks(std::string_view html);

// url(...) and @import "..." references of a style sheet, filtered like scanHtmlLinks.
std::vector<std::string> scanCssLinks(std::string_view css);

// The reference as a local file name, or empty when it is not local.
std::string localReference(std::string_view reference);

// The text between <title> and </title>, blanks collapsed and references to ASCII decoded;
// empty when the page has none.
std::string pageTitle(std::string_view html);

} // namespace hhp
