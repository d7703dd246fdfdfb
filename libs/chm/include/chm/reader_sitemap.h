// A tolerant reader of the contents (.hhc) and index (.hhk) sitemaps stored in help files,
// for showing them. Texts stay in the file's 8-bit code page, entities decoded to UTF-8 only
// where they name a character the code page may lack (&#NNNN;).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace chm {

struct SitemapTopic {
    std::string name;  // may be empty for the first topic of an item (it takes the item's name)
    std::string local; // path inside the help file, may carry "#anchor"
};

struct SitemapItem {
    std::string name;
    std::string local;                // first Local given
    std::string url;                  // URL parameter, if any
    std::string seeAlso;              // index cross reference
    std::vector<SitemapTopic> topics; // every Name/Local pair (index items may have several)
    std::vector<SitemapItem> children;
};

struct Sitemap {
    std::vector<SitemapItem> items;
    std::string fontProperty; // "Font" of the site properties, if given
};

// Never fails: unknown tags are ignored, unclosed lists are closed at the end, and nesting
// deeper than a fixed bound is flattened.
Sitemap parseSitemap(std::string_view text);

} // namespace chm
