// The compiler's view of the sitemap reader.
#include "hhp/sitemap.h"

namespace hhp {

Sitemap parseSitemap(std::string_view text, const std::string& fileName, Diagnostics& diagnostics) {
    return chm::parseSitemap(text, chm::SitemapText::CodePage,
                             [&](chm::SitemapProblem problem, int line) {
                                 switch (problem) {
                                 case chm::SitemapProblem::TooDeep:
                                     diagnostics.warn(fileName, line, Problem::SitemapTooDeep);
                                     break;
                                 case chm::SitemapProblem::ObjectInsideObject:
                                     diagnostics.warn(fileName, line, Problem::ObjectInsideObject);
                                     break;
                                 case chm::SitemapProblem::ObjectNotClosed:
                                     diagnostics.warn(fileName, line, Problem::ObjectNotClosed);
                                     break;
                                 }
                             });
}

} // namespace hhp
