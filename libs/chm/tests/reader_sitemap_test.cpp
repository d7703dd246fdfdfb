// Reading contents and index sitemaps as real files write them, and as damaged ones do.
#include "chm/reader_sitemap.h"

#include <gtest/gtest.h>

namespace {

TEST(ReaderSitemap, NestsChildListsUnderThePrecedingItem) {
    const char* hhc = R"(<HTML><BODY><OBJECT type="text/site properties">
<param name="Font" value="Tahoma,8,0"></OBJECT>
<UL><LI> <OBJECT type="text/sitemap"><param name="Name" value="Book">
</OBJECT>
<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A &amp; B">
<param name="Local" value="a.htm#x"></OBJECT>
<!-- <LI><OBJECT type="text/sitemap"><param name="Name" value="commented out"></OBJECT> -->
<li><object TYPE=text/sitemap><PARAM NAME=name VALUE='Unquoted &#20013;'><param name=local value=b.htm></object>
</UL>
<LI> <OBJECT type="text/sitemap"><param name="Name" value="Last"><param name="Local" value="c.htm"></OBJECT>
</UL></BODY></HTML>)";
    chm::Sitemap map = chm::parseSitemap(hhc);
    EXPECT_EQ(map.fontProperty, "Tahoma,8,0");
    ASSERT_EQ(map.items.size(), 2u);
    EXPECT_EQ(map.items[0].name, "Book");
    EXPECT_EQ(map.items[0].local, "");
    ASSERT_EQ(map.items[0].children.size(), 2u);
    EXPECT_EQ(map.items[0].children[0].name, "A & B");
    EXPECT_EQ(map.items[0].children[0].local, "a.htm#x");
    EXPECT_EQ(map.items[0].children[1].name, "Unquoted \xE4\xB8\xAD");
    EXPECT_EQ(map.items[0].children[1].local, "b.htm");
    EXPECT_EQ(map.items[1].local, "c.htm");
}

TEST(ReaderSitemap, IndexItemsKeepEveryTopic) {
    const char* hhk = R"(<UL><LI><OBJECT type="text/sitemap">
<param name="Name" value="create"><param name="Name" value="Create a table">
<param name="Local" value="t.htm"><param name="Name" value="Create a view"><param name="Local" value="v.htm">
</OBJECT><LI><OBJECT type="text/sitemap"><param name="Name" value="alias"><param name="See Also" value="create"></OBJECT></UL>)";
    chm::Sitemap map = chm::parseSitemap(hhk);
    ASSERT_EQ(map.items.size(), 2u);
    const chm::SitemapItem& item = map.items[0];
    EXPECT_EQ(item.local, "t.htm");
    ASSERT_EQ(item.topics.size(), 2u);
    EXPECT_EQ(item.topics[1].name, "Create a view");
    EXPECT_EQ(item.topics[1].local, "v.htm");
    EXPECT_EQ(map.items[1].seeAlso, "create");
}

TEST(ReaderSitemap, SurvivesBrokenAndHostileInput) {
    // Unclosed lists and objects, stray closers, a tag cut off at the end of the file.
    chm::Sitemap a = chm::parseSitemap("</UL></UL><UL><LI><OBJECT type=\"text/sitemap\">"
                                       "<param name=\"Name\" value=\"x\"></OBJECT><UL><UL><LI><OB");
    ASSERT_EQ(a.items.size(), 1u);
    EXPECT_EQ(a.items[0].name, "x");
    // Very deep nesting is flattened, not followed into a stack overflow.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"d\"></OBJECT><UL>";
    chm::Sitemap b = chm::parseSitemap(deep);
    std::size_t depth = 0;
    for (const auto* level = &b.items; !level->empty(); level = &level->back().children)
        ++depth;
    EXPECT_LE(depth, 64u);
    EXPECT_TRUE(chm::parseSitemap("").items.empty());
}

} // namespace
