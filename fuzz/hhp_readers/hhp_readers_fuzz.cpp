// Feeds one input to every reader of project and sitemap text: as a project (whose #include
// files are the input again), as a sitemap, as a page and a style sheet, and through the
// line-by-line code-page conversion. Nothing may crash, hang or read out of bounds.
#include <cstdint>
#include <hhp/code_page.h>
#include <hhp/compile.h>
#include <hhp/link_scan.h>
#include <hhp/project.h>
#include <hhp/sitemap.h>
#include <string>
#include <text/references.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    hhp::Diagnostics diagnostics;
    const hhp::IncludeReader includes = [&](const std::string&) {
        return std::optional<std::string>(text);
    };
    const hhp::Project project = hhp::parseProject(text, "fuzz.hhp", includes, diagnostics);
    (void)project.findWindow("main");

    const hhp::Sitemap sitemap = hhp::parseSitemap(text, "fuzz.hhc", diagnostics);
    (void)sitemap.property("ImageType");
    (void)hhp::scanHtmlLinks(text);
    (void)hhp::scanCssLinks(text);
    (void)hhp::pageTitle(text);
    (void)text::decodeReferences(text, false);
    (void)hhp::convertUtf8Lines(text, 936, [](int) {});
    (void)hhp::isNonAsciiUtf8(text);
    return 0;
}
