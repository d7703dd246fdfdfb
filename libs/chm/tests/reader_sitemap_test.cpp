// The sitemap reader the compiler and the viewer share, over one table of real-world and
// damaged inputs. Each case renders the tree as "name=local{children}|next".
#include "chm/reader_sitemap.h"

#include <gtest/gtest.h>

namespace {

using chm::SitemapText;

std::string render(const std::vector<chm::SitemapItem>& items) {
    std::string out;
    for (const chm::SitemapItem& item : items) {
        if (!out.empty())
            out += '|';
        out += item.name;
        if (!item.local.empty())
            out += "=" + item.local;
        if (!item.children.empty())
            out += "{" + render(item.children) + "}";
    }
    return out;
}

std::string item(const std::string& name, const std::string& local = {}) {
    std::string out =
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name + "\">";
    if (!local.empty())
        out += "<param name=\"Local\" value=\"" + local + "\">";
    return out + "</OBJECT>\n";
}

struct Case {
    const char* what;
    std::string text;
    SitemapText encoding;
    std::string tree;
    std::string problems; // "problem@line" in order
};

TEST(Sitemap, ReadsRealAndDamagedFiles) {
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<UL>" + item("d");
    const Case cases[] = {
        {"children follow their item; a comment hides what it holds",
         "<HTML><BODY><UL>" + item("Book") + "<UL>" + item("A &amp; B", "a.htm#x") + "<!-- " +
             item("commented out") + " -->" + item("B", "d\\b.htm") + "</UL>" +
             item("Last", "c.htm") + "</UL></BODY></HTML>",
         SitemapText::Utf8, "Book{A & B=a.htm#x|B=d\\b.htm}|Last=c.htm", ""},
        {"unquoted and single-quoted values, any letter case",
         "<ul><li><object TYPE=text/sitemap><PARAM NAME=name VALUE='It&#39;s'>"
         "<param name=local value=b.htm></object></ul>",
         SitemapText::Utf8, "It's=b.htm", ""},
        {"a caption with bare quotes keeps them",
         "<UL>" + item("Say \"hi\" now", "a.htm") + item("\"quoted\"", "b.htm") + "</UL>",
         SitemapText::CodePage, "Say \"hi\" now=a.htm|\"quoted\"=b.htm", ""},
        {"in UTF-8 text every reference is decoded",
         "<UL>" + item("&#20013;&#x6587; &copy; &AMP; &amp", "x.htm") + "</UL>", SitemapText::Utf8,
         "\xE4\xB8\xAD\xE6\x96\x87 \xC2\xA9 & &amp=x.htm", ""},
        {"in code-page text only references to ASCII are",
         "<UL>" + item("&#20013; &#65; &lt;&nbsp;&copy;", "x.htm") + "</UL>", SitemapText::CodePage,
         "&#20013; A < &copy;=x.htm", ""},
        {"lists side by side are siblings; depth counts from the first item",
         "<UL><UL>" + item("A") + "</UL>" + item("B") + "</UL><UL>" + item("C") + "</UL>",
         SitemapText::Utf8, "A|B|C", ""},
        {"stray closers, an open list and a tag cut off at the end",
         "</UL></UL><UL>" + item("x") + "<UL><UL><LI><OB", SitemapText::Utf8, "x", ""},
        {"an object inside an object ends it; the last one is never closed",
         "<UL>\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">\n" + item("b") +
             "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"c\">",
         SitemapText::CodePage, "a|b|c", "ObjectInsideObject@3 ObjectNotClosed@4"},
        {"nesting past the limit is flattened, not followed", deep, SitemapText::CodePage, "",
         "TooDeep@65"},
        {"nothing at all", "", SitemapText::Utf8, "", ""},
    };
    for (const Case& c : cases) {
        std::string problems;
        const chm::Sitemap map =
            chm::parseSitemap(c.text, c.encoding, [&](chm::SitemapProblem problem, int line) {
                static const char* const kNames[] = {"TooDeep", "ObjectInsideObject",
                                                     "ObjectNotClosed"};
                problems += std::string(problems.empty() ? "" : " ") +
                            kNames[static_cast<int>(problem)] + "@" + std::to_string(line);
            });
        EXPECT_EQ(problems, c.problems) << c.what;
        if (c.text != deep) {
            EXPECT_EQ(render(map.items), c.tree) << c.what;
            continue;
        }
        std::size_t depth = 0;
        for (const auto* level = &map.items; !level->empty(); level = &level->back().children)
            ++depth;
        EXPECT_LE(depth, 65u) << c.what;
    }
}

TEST(Sitemap, KeepsIndexTopicsPropertiesAndLines) {
    const chm::Sitemap map = chm::parseSitemap(
        "<OBJECT type=\"text/site properties\">\n<param name=\"ImageType\" value=\"Folder\">\n"
        "</OBJECT>\n<UL><LI><OBJECT type=\"text/sitemap\">\n"
        "<param name=\"Name\" value=\"create\"><param name=\"Name\" value=\"First\">"
        "<param name=\"Local\" value=\"a.htm\"><param name=\"Name\" value=\"Second\">"
        "<param name=\"Local\" value=\"b.htm\"><param name=\"Name\" value=\"no page\">"
        "</OBJECT>\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"make\">"
        "<param name=\"See Also\" value=\"create\"><param name=\"URL\" value=\"u.htm\"></OBJECT>");
    EXPECT_EQ(map.property("imagetype"), "Folder");
    EXPECT_EQ(map.property("Font"), "");
    ASSERT_EQ(map.items.size(), 2u);
    const chm::SitemapItem& create = map.items[0];
    EXPECT_EQ(create.name, "create");
    EXPECT_EQ(create.local, "a.htm");
    EXPECT_EQ(create.line, 4);
    ASSERT_EQ(create.topics.size(), 2u); // a name without a page is no topic
    EXPECT_EQ(create.topics[0].name, "First");
    EXPECT_EQ(create.topics[1].name, "Second");
    EXPECT_EQ(create.topics[1].local, "b.htm");
    EXPECT_EQ(map.items[1].seeAlso, "create");
    EXPECT_EQ(map.items[1].url, "u.htm");
    EXPECT_EQ(map.items[1].line, 6);
    EXPECT_TRUE(map.items[1].topics.empty());
}

} // namespace
