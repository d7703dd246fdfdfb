// Sitemaps: the contents (.hhc) and index (.hhk) files, HTML lists of <OBJECT> items.
#pragma once

#include "hhp/diagnostics.h"

#include <string>
#include <string_view>
#include <vector>

namespace hhp {

struct SitemapParam {
    std::string name;  // as written ("Name", "Local", ...)
    std::string value; // entities decoded
};

// A "Name"/"Local" pair of one item. Contents items have one; an index keyword may list
// several targets, one per pair.
struct SitemapTarget {
    std::string name;
    std::string local;
};

struct SitemapEntry {
    std::string name;  // the first "Name"
    std::string local; // the first "Local" (may hold "#anchor"); empty for a heading
    std::string url;   // "URL"
    std::string seeAlso;
    std::vector<SitemapTarget> targets; // every Name/Local pair, in order
    std::vector<SitemapParam> params;   // all params, for what the compiler does not model
    std::vector<SitemapEntry> children;
    int line = 0;
};

struct Sitemap {
    std::vector<SitemapParam> properties; // the "text/site properties" object
    std::vector<SitemapEntry> entries;

    // The value of a site property, matched case-insensitively; empty when absent.
    std::string property(std::string_view name) const;
};

// Parses a sitemap. Tolerant like the viewers: tags and names are case-insensitive, <LI> is
// never closed, a <UL> belongs to the item before it, stray or unbalanced tags are skipped.
// Nesting deeper than a fixed limit is flattened (warned about), so no input recurses without
// bound.
Sitemap parseSitemap(std::string_view text, const std::string& fileName, Diagnostics& diagnostics);

// Decodes the HTML character references that occur in sitemap and page text (&amp; &lt; &gt;
// &quot; &apos; &nbsp; and numeric ones for ASCII); others are left as written.
std::string decodeEntities(std::string_view text);

} // namespace hhp
