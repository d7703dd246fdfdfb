// Sitemaps as the compiler reads them: the help file's own reader, with what it meets reported
// as warnings of the sitemap's file.
#pragma once

#include "chm/reader_sitemap.h"
#include "hhp/diagnostics.h"

#include <string>
#include <string_view>

namespace hhp {

using chm::Sitemap;
using chm::SitemapItem;

// Parses a sitemap held in the project's 8-bit code page (references beyond ASCII are kept as
// written, so its bytes can be stored as they are).
Sitemap parseSitemap(std::string_view text, const std::string& fileName, Diagnostics& diagnostics);

} // namespace hhp
