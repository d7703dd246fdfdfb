// Project, sitemap, link-scan and code-page readers on hand-written inputs.
#include <algorithm>
#include <gtest/gtest.h>
#include <hhp/code_page.h>
#include <hhp/link_scan.h>
#include <hhp/project.h>
#include <hhp/sitemap.h>
#include <map>

namespace {

using hhp::Problem;

// True when a warning of that kind was given for that line, with these leading arguments.
bool hasWarning(const hhp::Diagnostics& d, int line, Problem problem,
                const std::vector<std::string>& args = {}) {
    for (const auto& item : d.items())
        if (item.line == line && item.problem == problem && item.args.size() >= args.size() &&
            std::equal(args.begin(), args.end(), item.args.begin()))
            return true;
    return false;
}

// What the compile of the generated and hand-written fixture projects does not show: a quoted
// caption with a comma, a window found in any case, and every field of a window line.
TEST(ProjectReader, WindowLines) {
    const std::string text = "[WINDOWS]\r\n"
                             "main=\"My, Title\",\"t.hhc\",,,,,,,,0x63520,,0x387e,,,,,,,,0\r\n";
    hhp::Diagnostics d;
    const auto p = hhp::parseProject(text, "p.hhp", {}, d);
    EXPECT_TRUE(d.items().empty());
    const auto* main = p.findWindow("MAIN");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->caption, "My, Title");
    EXPECT_EQ(main->buttons, 0x387eu);
    EXPECT_FALSE(main->navigationWidth.has_value());
    const auto w = hhp::parseWindowDefinition(
        "w",
        "\"T\",\"t.hhc\",\"i.hhk\",\"d.htm\",\"h.htm\",\"j1.htm\",\"J1\",\"j2.htm\",\"J2\","
        "0x2520,200,0x387e,[10,20,-30,400],0x1,0x2,3,1,2,1,77",
        "p.hhp", 4, d);
    EXPECT_TRUE(d.items().empty());
    ASSERT_TRUE(w.position.has_value());
    EXPECT_EQ((*w.position)[2], -30);
    EXPECT_EQ(w.jump2Text, "J2");
    EXPECT_EQ(w.defaultTab, 2);
    EXPECT_EQ(w.notifyId, 77);
}

TEST(ProjectReader, BadLinesAreWarnedWithTheirLine) {
    const std::string text = "stray line\n[OPTIONS]\nNo equals sign\nFrobnicate=1\n"
                             "Binary TOC=Yes\nFull-text search=Maybe\nLanguage=English\n"
                             "[WINDOWS]\nw=\"a\",,,,,,,,,zz\n[NOSUCH]\nx\n";
    hhp::Diagnostics d;
    const auto p = hhp::parseProject(text, "p.hhp", {}, d);
    EXPECT_TRUE(hasWarning(d, 1, Problem::LineOutsideSection));
    EXPECT_TRUE(hasWarning(d, 3, Problem::OptionWithoutEquals));
    EXPECT_TRUE(hasWarning(d, 4, Problem::UnknownOption, {"Frobnicate"}));
    EXPECT_TRUE(hasWarning(d, 5, Problem::OptionIgnored, {"Binary TOC"}));
    EXPECT_TRUE(hasWarning(d, 6, Problem::OptionNotYesNo, {"Full-text search", "Maybe"}));
    EXPECT_TRUE(hasWarning(d, 7, Problem::LanguageWithoutNumber, {"English"}));
    EXPECT_TRUE(hasWarning(d, 9, Problem::WindowFieldNotNumber, {"w", "9", "zz"}));
    EXPECT_TRUE(hasWarning(d, 10, Problem::UnknownSection, {"NOSUCH"}));
    EXPECT_EQ(p.lcid, 0x409u);
    EXPECT_FALSE(p.fullTextSearch);
    EXPECT_EQ(d.items().front().file, "p.hhp");
}

TEST(ProjectReader, AliasAndMapWithIncludes) {
    const std::map<std::string, std::string> files = {
        {"ids.h",
         "/* generated */\n#ifndef IDS\n#define IDH_ONE 1 // first\n#include \"more.h\"\n"},
        {"more.h", "#define IDH_TWO 0x20\nIDH_THREE=(3L)\n#include loop.h\n"},
        {"loop.h", "#include loop.h\n"},
        {"a.ali", "IDH_ONE=one.htm\n"},
    };
    hhp::IncludeReader reader = [&](const std::string& name) -> std::optional<std::string> {
        auto it = files.find(name);
        return it == files.end() ? std::nullopt : std::optional(it->second);
    };
    const std::string text = "[ALIAS]\n#include a.ali\nIDH_TWO = two.htm\nbroken\n"
                             "[MAP]\n#include ids.h\n#include missing.h\n";
    hhp::Diagnostics d;
    const auto p = hhp::parseProject(text, "p.hhp", reader, d);
    ASSERT_EQ(p.aliases.size(), 2u);
    EXPECT_EQ(p.aliases[0].sourceFile, "a.ali");
    ASSERT_EQ(p.map.size(), 3u);
    EXPECT_EQ(p.map[2].number, 3u);
    EXPECT_TRUE(hasWarning(d, 4, Problem::AliasWithoutEquals));
    EXPECT_TRUE(hasWarning(d, 7, Problem::IncludeUnreadable, {"missing.h"}));
    EXPECT_TRUE(hasWarning(d, 1, Problem::IncludeOfItself, {"loop.h"}));
}

TEST(ProjectReader, IncludesThatFanOutStayBounded) {
    // Each level includes the next three times: without a total cap this is 3^depth reads.
    int reads = 0;
    hhp::IncludeReader counting = [&](const std::string& name) -> std::optional<std::string> {
        ++reads;
        const std::string next = "l" + std::to_string(std::stoi(name.substr(1)) + 1);
        return "#include " + next + "\n#include " + next + "\n#include " + next + "\n";
    };
    hhp::Diagnostics d;
    hhp::parseProject("[MAP]\n#include l0\n", "p.hhp", counting, d);
    EXPECT_LE(reads, 256);
    EXPECT_TRUE(hasWarning(d, 3, Problem::TooManyIncludes) ||
                hasWarning(d, 2, Problem::TooManyIncludes) ||
                hasWarning(d, 1, Problem::TooManyIncludes));
}

TEST(SitemapReader, WarnsWithTheFileAndLineAndKeepsTheCodePageBytes) {
    hhp::Diagnostics d;
    const auto s = hhp::parseSitemap("<UL>\n<LI><OBJECT type=\"text/sitemap\">"
                                     "<param name=\"Name\" value=\"&#20013;\">\n<OBJECT>",
                                     "toc.hhc", d);
    ASSERT_EQ(s.items.size(), 1u);
    EXPECT_EQ(s.items[0].name, "&#20013;");
    ASSERT_EQ(d.items().size(), 2u);
    EXPECT_EQ(d.items()[0].file, "toc.hhc");
    EXPECT_TRUE(hasWarning(d, 3, Problem::ObjectInsideObject));
    EXPECT_TRUE(hasWarning(d, 3, Problem::ObjectNotClosed));
}

TEST(LinkScan, FindsLocalReferencesOnly) {
    const std::string html =
        "<html><head><link rel=stylesheet href=\"css/site.css\">"
        "<style>body { background: url( 'img/bg.png' ) }</style>"
        "<script>var s = '<img src=\"script.png\">';</script></head>"
        "<body background=\"tile.gif\"><a href=\"page%202.htm#top\">x</a>"
        "<a href=\"#local\">a</a><a href=\"http://example.com/x.htm\">b</a>"
        "<a href=\"mailto:a@b.c\">c</a><a href=\"//host/x\">d</a><a "
        "href=\"ms-its:o.chm::/a.htm\">e</a>"
        "<img SRC=Pics\\one.JPG><img src=\"pics\\one.JPG\">"
        "<frame src=\"f.htm?x=1\"><object data=\"movie.swf\"><param name=\"Movie\" value=\"m.swf\">"
        "</object><div style=\"background:url(div.png)\"></div>"
        "<a href=\"q&amp;a.htm\">q</a></body></html>";
    const auto links = hhp::scanHtmlLinks(html);
    const std::vector<std::string> expected = {
        "css/site.css", "tile.gif", "page 2.htm", "Pics\\one.JPG", "pics\\one.JPG", "f.htm",
        "movie.swf",    "m.swf",    "div.png",    "q&a.htm",       "img/bg.png"};
    EXPECT_EQ(links, expected);
    EXPECT_EQ(hhp::scanCssLinks("@import \"base.css\";\n@import url(x.css);\n"
                                ".a{background:url(\"../i.png\")} .b{src:url(data:abc)}"),
              (std::vector<std::string>{"base.css", "x.css", "../i.png"}));
}

TEST(PageTitle, ExtractsAndCollapses) {
    EXPECT_EQ(hhp::pageTitle("<HTML><HEAD><TITLE>\r\n  A &amp;\n B </TITLE>"), "A & B");
    EXPECT_EQ(hhp::pageTitle("<titles>no</titles><title lang=en>Yes</title>"), "Yes");
    EXPECT_EQ(hhp::pageTitle("<p>none</p>"), "");
    EXPECT_EQ(hhp::pageTitle("<title>unclosed"), "unclosed");
}

TEST(CodePages, SitemapLinesConvertOneByOne) {
    // Line 1 UTF-8, line 2 already GBK, line 3 ASCII, line 4 UTF-8 that GBK cannot hold.
    const std::string text = "\xE4\xB8\xAD\r\n\xD6\xD0\r\nabc\n\xF0\x9F\x98\x80\rend";
    std::vector<int> lossyLines;
    const auto out =
        hhp::convertUtf8Lines(text, 936, [&](int line) { lossyLines.push_back(line); });
    EXPECT_EQ(out, "\xD6\xD0\r\n\xD6\xD0\r\nabc\n?\rend");
    EXPECT_EQ(lossyLines, std::vector<int>{4});
    // A byte-order mark is no character of line 1; converted text is no longer UTF-8, so it goes.
    lossyLines.clear();
    EXPECT_EQ(hhp::convertUtf8Lines("\xEF\xBB\xBF" + text, 936,
                                    [&](int line) { lossyLines.push_back(line); }),
              out);
    EXPECT_EQ(lossyLines, std::vector<int>{4});
}

TEST(CodePages, GbkTextThatPassesForUtf8StaysAsItIs) {
    // "模式" and "系统模式" in GBK are valid UTF-8 ("ģʽ", "ϵͳģʽ") that GBK cannot hold: they
    // were GBK all along (a decompiled project's sitemap), and must survive a recompile.
    // With a byte-order mark in front (as some editors save GBK), nothing changes either.
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
        const std::string text =
            bom + "HHP \xC4\xA3\xCA\xBD\r\n\xCF\xB5\xCD\xB3\xC4\xA3\xCA\xBD\r\n";
        std::vector<int> lossyLines;
        EXPECT_EQ(hhp::convertUtf8Lines(text, 936, [&](int line) { lossyLines.push_back(line); }),
                  text);
        EXPECT_TRUE(lossyLines.empty());
    }
}

} // namespace
