// The contents (.hhc) and index (.hhk) sitemaps: loose HTML lists of <OBJECT> items, read the
// same way by the compiler (which stores them) and the viewer (which shows them).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

struct SitemapParam {
    std::string name;  // as written ("Font", "ImageType", ...)
    std::string value; // references decoded
};

// One "Name"/"Local" pair of an item. Contents items have one; an index keyword may list
// several pages, one per pair.
struct SitemapTopic {
    std::string name;  // the pair's "Name", or the item's when the pair has none
    std::string local; // path inside the help file, may carry "#anchor"
};

struct SitemapItem {
    std::string name;                 // the first "Name"
    std::string local;                // the first "Local"; empty for a heading
    std::string url;                  // the first "URL"
    std::string seeAlso;              // an index keyword's cross reference
    std::vector<SitemapTopic> topics; // every pair that names a page, in order
    std::vector<SitemapItem> children;
    int line = 0; // of the item's <OBJECT>
};

struct Sitemap {
    std::vector<SitemapParam> properties; // of the "text/site properties" object
    std::vector<SitemapItem> items;

    // The value of a site property, its name matched without regard to case; empty if absent.
    std::string property(std::string_view name) const;
};

// How the text is encoded. UTF-8 text has every character reference decoded; text in an 8-bit
// code page keeps references to characters beyond ASCII as written, since they have no one
// right spelling in it.
enum class SitemapText { Utf8, CodePage };

// What the reader met and went past; the line is 1-based.
enum class SitemapProblem {
    TooDeep,            // lists nested beyond the limit: deeper items are kept at the limit
    ObjectInsideObject, // an <OBJECT> before the previous one was closed: that one ends there
    ObjectNotClosed,    // the last <OBJECT> is never closed
};
using SitemapProblems = std::function<void(SitemapProblem problem, int line)>;

// Never fails. Tags and names are case-insensitive, <LI> is never closed, a <UL> belongs to
// the item before it, stray and unbalanced tags are skipped, an unclosed list ends with the
// file. A value may hold a bare double quote ("Say "hi" now"): a quote closes a value only
// where the tag can go on after it. Nesting deeper than a fixed limit is flattened.
Sitemap parseSitemap(std::string_view text, SitemapText encoding = SitemapText::Utf8,
                     const SitemapProblems& problems = {});

} // namespace chm
