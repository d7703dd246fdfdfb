// The viewer's model of a help file and its address rules, without a window: where requests
// may go, which character set a page is served with, and what the panes are filled with.
#include "help_builder.h"
#include "help_document.h"
#include "help_url.h"

#include <gtest/gtest.h>

namespace {

using Kind = hh::Route::Kind;

TEST(HelpUrl, EveryRequestIsServedRedirectedOrRefused) {
    const std::string self = "/docs/help/main.chm";
    struct Case {
        const char* scheme;
        const char* path;
        Kind kind;
        const char* to; // where a redirect or a served page goes
    };
    const Case cases[] = {
        {"ms-its", "/docs/help/main.chm::/a/b.htm", Kind::Serve, "/docs/help/main.chm::/a/b.htm"},
        // the other forms help files use, onto the one form
        {"ms-its", "main.chm::/a/b.htm", Kind::Redirect, "/docs/help/main.chm::/a/b.htm"},
        {"its", "other.chm::\\x\\y.htm", Kind::Redirect, "/docs/help/other.chm::/x/y.htm"},
        {"mk", "@MSITStore:C:\\Program Files\\App\\other.chm::/y.htm", Kind::Redirect,
         "/docs/help/other.chm::/y.htm"},
        {"mk", "@msitstore:main.chm::y.htm", Kind::Redirect, "/docs/help/main.chm::/y.htm"},
        {"ms-its", "/docs/help/main.chm::/dir/other.chm::/y.htm", Kind::Redirect,
         "/docs/help/other.chm::/y.htm"}, // "ms-its:other.chm::/y.htm" as the browser resolves it
        {"ms-its", "/docs/help/main.chm::/a/./../../../c.htm", Kind::Redirect,
         "/docs/help/main.chm::/c.htm"},
        // a relative link climbing out of the file comes back to its root
        {"ms-its", "/docs/help/c.htm", Kind::Redirect, "/docs/help/main.chm::/c.htm"},
        {"ms-its", "/docs/img/c.png", Kind::Redirect, "/docs/help/main.chm::/img/c.png"},
        {"ms-its", "/x.htm", Kind::Redirect, "/docs/help/main.chm::/x.htm"},
        // nothing else is read
        {"ms-its", "/docs/other/x.chm::/a.htm", Kind::Refuse, ""},
        {"ms-its", "sub/x.chm::/a.htm", Kind::Refuse, ""},
        {"ms-its", "/docs/help/../other/x.chm::/a.htm", Kind::Refuse, ""},
        {"ms-its", "main.chm", Kind::Refuse, ""},
        {"mk", "main.chm::/a.htm", Kind::Refuse, ""},
        {"file", "/etc/passwd", Kind::Refuse, ""},
        {"http", "//example.com/a.png", Kind::Refuse, ""},
        {"https", "//example.com/a.js", Kind::Refuse, ""},
        {"ws", "//127.0.0.1:1/", Kind::Refuse, ""},
        {"data", "text/plain,x", Kind::Allow, ""},
        {"about", "blank", Kind::Allow, ""},
    };
    for (const Case& c : cases) {
        const hh::Route r = hh::routeRequest(c.scheme, c.path, self);
        EXPECT_EQ(r.kind, c.kind) << c.scheme << ':' << c.path;
        EXPECT_EQ(r.path, c.to) << c.scheme << ':' << c.path;
        EXPECT_EQ(r.reason.empty(), c.kind != Kind::Refuse) << c.scheme << ':' << c.path;
    }
    // Without a file to stand on, a relative file name means nothing.
    EXPECT_EQ(hh::routeRequest("its", "main.chm::/a.htm", "").kind, Kind::Refuse);
    // Page names inside the file: the cases the table above does not reach.
    EXPECT_EQ(hh::normalizePageName(""), "/");
    EXPECT_EQ(hh::normalizePageName("dir/"), "/dir/");
}

TEST(HelpDocument, PagesGetTheCharacterSetTheyDoNotDeclare) {
    auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    struct Case {
        std::string content;
        const char* mime;
        std::uint32_t codePage;
        const char* charset;
    };
    const Case cases[] = {
        {"<p>\xA4\xA4\xA4\xE5</p>", "text/html", 950, "Big5"}, // 中文 in Big5, undeclared
        {"<p>\xD6\xD0</p>", "text/html", 936, "GBK"},
        {"<p>\xE4\xB8\xAD</p>", "text/html", 936, "UTF-8"}, // can only be UTF-8
        {"<meta charset=\"big5\"><p>\xA4\xA4</p>", "text/html", 936, ""},
        {"\xEF\xBB\xBF<p>\xE4\xB8\xAD</p>", "text/html", 950, ""},
        {"<p>charset is a word here \xD6\xD0</p>", "text/html", 936, "GBK"},
        {"body{font-family:\"\xCB\xCE\xCC\xE5\"}", "text/css", 936, "GBK"},
        {"@charset \"utf-8\"; body{}", "text/css", 936, ""},
        {"document.title = '\xB1\xEA';", "text/javascript", 936, "GBK"},
        {"\x89PNG\r\n", "image/png", 936, ""},
        {"<p>\xE0\xE8</p>", "text/html", 1250, "windows-1250"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hh::replyCharset(bytes(c.content), c.mime, c.codePage), c.charset) << c.content;
    EXPECT_EQ(hh::mimeTypeForName("/A/B.HTML"), "text/html");
    EXPECT_EQ(hh::mimeTypeForName("/x.unknown"), "application/octet-stream");
}

hhtest::HelpContent bookContent() {
    using hhtest::page;
    using hhtest::sitemapItem;
    hhtest::HelpContent content;
    content.lcid = 0x0404;      // Big5: titles and sitemaps are read in the file's own code page
    content.title = "\xAE\xD1"; // 書
    content.search = true;
    content.pages = {
        page("intro.htm", "Intro", "alpha alpha beta"), page("Ch1/One.htm", "One", "alpha"),
        page("ch1/two.htm", "Two", "beta gamma alpha beta"), page("three.htm", "Three", "gamma")};
    // A byte-order mark before Big5 text, as some editors write sitemaps.
    content.contents = "\xEF\xBB\xBF<UL>" + sitemapItem("\xA4\xDE\xA8\xA5", "intro.htm") + // 引言
                       sitemapItem("Part") + "<UL>" + sitemapItem("One", "ch1\\one.htm") +
                       sitemapItem("Two", "/CH1/Two.htm#x") + "</UL>" +
                       sitemapItem("Missing", "nowhere.htm") +
                       sitemapItem("Three", "ms-its:book.chm::/three.htm") + "</UL>";
    content.index = "<UL>" +
                    sitemapItem("alpha", "", {{"Intro", "intro.htm"}, {"Two", "ch1/two.htm"}}) +
                    "<UL>" + sitemapItem("sub", "three.htm") + "</UL></UL>";
    return content;
}

TEST(HelpDocument, PanesAndSearchFromTheFile) {
    hh::HelpDocument doc;
    ASSERT_EQ(doc.openMemory(hhtest::buildHelp(bookContent()), "/t/book.chm"), chm::ReadError::Ok);
    EXPECT_EQ(doc.title(), "\xE6\x9B\xB8");
    const auto& nodes = doc.contents();
    ASSERT_EQ(nodes.size(), 6u);
    EXPECT_EQ(nodes[0].title, "\xE5\xBC\x95\xE8\xA8\x80"); // 引言: the mark is not text
    EXPECT_EQ(doc.contentsRoots(), (std::vector<int>{0, 1, 4, 5}));
    EXPECT_EQ(nodes[1].children, (std::vector<int>{2, 3}));
    EXPECT_EQ(nodes[3].parent, 1);
    EXPECT_EQ(nodes[3].row, 1);
    // Reading order skips the heading and the entry whose page is not stored.
    EXPECT_EQ(doc.readingOrder(), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_EQ(doc.contentsNodeForPage("/nowhere.htm"), -1);
    EXPECT_EQ(doc.storedName("CH1\\ONE.HTM#top"), "/Ch1/One.htm");
    EXPECT_EQ(doc.storedName("../../three.htm"), "/three.htm");
    EXPECT_EQ(doc.storedName("missing.htm"), "");
    EXPECT_EQ(doc.startPage(), "intro.htm");

    ASSERT_EQ(doc.index().size(), 2u);
    EXPECT_EQ(doc.index()[1].depth, 1);

    // Search ranks by terms found, then by occurrences.
    ASSERT_TRUE(doc.hasSearch());
    std::vector<hh::SearchResult> results;
    ASSERT_EQ(doc.search("alpha beta", results), chm::SearchError::Ok);
    std::vector<std::string> order;
    for (const hh::SearchResult& r : results)
        order.push_back(r.title);
    // two: both terms, 3 times; intro: both, 3 times (earlier topic first); one: alpha only.
    EXPECT_EQ(order, (std::vector<std::string>{"Intro", "Two", "One"}));
    EXPECT_EQ(results[0].termsFound, 2u);
    EXPECT_EQ(results[0].occurrences, 3u);
    EXPECT_EQ(results[2].termsFound, 1u);
    ASSERT_EQ(doc.search("gamma beta beta", results), chm::SearchError::Ok);
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results[0].title, "Two"); // the only topic with all three terms
    ASSERT_EQ(doc.search("nothing", results), chm::SearchError::Ok);
    EXPECT_TRUE(results.empty());
}

} // namespace
