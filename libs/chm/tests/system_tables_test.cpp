// The string pool, the URL hash and the topic, window, context-id and index-header tables.
#include "chm/system_tables.h"
#include "system_test_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

using test::Bytes;
using test::readU32;

struct HashCase {
    const char* url;
    std::uint32_t hash;
};

class UrlHashTest : public ::testing::TestWithParam<HashCase> {};

// Values taken from #URLTBL of help files made by Microsoft's compiler.
TEST_P(UrlHashTest, MatchesTheViewersTable) {
    EXPECT_EQ(urlHash(GetParam().url), GetParam().hash);
}

INSTANTIATE_TEST_SUITE_P(
    KnownFiles, UrlHashTest,
    ::testing::Values(HashCase{"Help.hhk", 0xCBF00ACE}, HashCase{"Index.hhk", 0x18FFD71B},
                      HashCase{"Help.hhc", 0xCBF00AC6}, HashCase{"AddNew1.htm", 0x42744DD9},
                      HashCase{"Introduction.htm", 0xFF78043D},
                      HashCase{"introducingsimpledatabasede.htm", 0x538188ED}));

TEST(UrlHash, FoldsCaseAndSeparators) {
    EXPECT_EQ(urlHash("img/a_b.htm"), urlHash("IMG\\A_B.HTM"));
    EXPECT_NE(urlHash("a_b.htm"), urlHash("a-b.htm")); // '_' counts 0x0F, not '_' - '0'
    EXPECT_EQ(urlHash("_"), 0x0Fu);
    EXPECT_EQ(urlHash("#"), static_cast<std::uint32_t>('#' - 0x30)); // wraps below zero
    EXPECT_EQ(urlHash(""), 0u);
}

TEST(StringPool, StoresEachStringOnceAfterALeadingNul) {
    StringPool pool;
    EXPECT_EQ(pool.add(""), 0u);
    EXPECT_EQ(pool.add("Main"), 1u);
    EXPECT_EQ(pool.add("Title"), 6u);
    EXPECT_EQ(pool.add("Main"), 1u);
    EXPECT_EQ(pool.add(std::string("Main\0x", 6)), 1u); // ends at its NUL
    EXPECT_EQ(pool.bytes(), Bytes{}.zeros(1).str("Main").str("Title").v);
}

TEST(StringPool, NoStringCrossesABlockBoundary) {
    StringPool pool;
    const std::string fill(4090, 'x'); // bytes 1..4091, NUL at 4091
    EXPECT_EQ(pool.add(fill), 1u);
    EXPECT_EQ(pool.add("abc"), 4092u); // "abc\0" ends exactly at 4096: stays
    EXPECT_EQ(pool.add("d"), 4096u);
    StringPool moved;
    moved.add(fill);
    EXPECT_EQ(moved.add("abcd"), 4096u); // would need 4092..4096: moves to the next block
    ASSERT_EQ(moved.bytes().size(), 4101u);
    for (std::size_t i = 4092; i < 4096; ++i)
        EXPECT_EQ(moved.bytes()[i], 0) << i;
}

TEST(StringPool, CutsAStringLongerThanABlock) {
    StringPool pool;
    const std::string huge(5000, 'y');
    const std::uint32_t at = pool.add(huge);
    EXPECT_EQ(at, 4096u);
    EXPECT_EQ(pool.bytes().size(), 8192u);
    EXPECT_EQ(pool.bytes().back(), 0);
    ASSERT_EQ(pool.truncated().size(), 1u);
    EXPECT_EQ(pool.add(huge), at); // found again under its full text
}

TEST(TopicTables, LayoutOfTwoTopics) {
    StringPool pool;
    const std::uint32_t title = pool.add("Intro"); // 1
    std::vector<std::string> cut;
    const TopicTables t =
        buildTopicTables({{"Help.hhc", "", true, 0}, {"b.htm", "Intro", true, 4096}}, pool, cut);
    // "b.htm" hashes below "Help.hhc", so #URLTBL lists topic 1 first.
    ASSERT_LT(urlHash("b.htm"), urlHash("Help.hhc"));
    EXPECT_EQ(t.urlStrings, Bytes{}
                                .zeros(1) // filler: offset 0 is no URL
                                .u32(0)   // 1: topic 0, external URL
                                .u32(0)   //    frame name
                                .str("Help.hhc")
                                .u32(0) // 18: topic 1
                                .u32(0)
                                .str("b.htm")
                                .v);
    EXPECT_EQ(t.urlTable, Bytes{}
                              .u32(urlHash("b.htm"))    // 0: hash
                              .u32(1)                   //    topic number
                              .u32(18)                  //    #URLSTR offset
                              .u32(urlHash("Help.hhc")) // 12
                              .u32(0)
                              .u32(1)
                              .v);
    EXPECT_EQ(t.topics, Bytes{}
                            .u32(0)          // topic 0: not in the contents
                            .u32(0xFFFFFFFF) //          no title
                            .u32(12)         //          #URLTBL offset
                            .u16(2)          //          stored file only
                            .u16(0)
                            .u32(4096)  // topic 1: contents position
                            .u32(title) //          title
                            .u32(0)     //          #URLTBL offset
                            .u16(6)     //          stored file, in the contents
                            .u16(0)
                            .v);
    EXPECT_TRUE(cut.empty());
}

// Enough topics with long names to fill several blocks of both URL files; every reference
// must lead back to its own topic and no record may straddle a block boundary.
TEST(TopicTables, CrossReferencesSurviveBlockBoundaries) {
    std::vector<TopicRecord> topics;
    for (int i = 0; i < 700; ++i)
        topics.push_back({"folder/page_" + std::to_string(i) + std::string(40, 'q') + ".htm", "",
                          i % 3 != 0, 0});
    StringPool pool;
    std::vector<std::string> cut;
    const TopicTables t = buildTopicTables(topics, pool, cut);

    ASSERT_EQ(t.topics.size(), 700u * 16);
    EXPECT_EQ(t.urlTable.size(), 700u * 12 + 4 * 2); // 341 + 341 + 18 records, two block marks
    EXPECT_EQ(readU32(t.urlTable, 4092), 0x1000u);
    EXPECT_EQ(readU32(t.urlTable, 8188), 0x1000u);
    std::uint32_t previousHash = 0;
    for (std::size_t k = 0; k < 700; ++k) {
        const std::size_t at = (k / 341) * 4096 + (k % 341) * 12;
        const std::uint32_t hash = readU32(t.urlTable, at);
        EXPECT_LE(previousHash, hash);
        previousHash = hash;
    }
    for (std::size_t i = 0; i < topics.size(); ++i) {
        const std::uint32_t urlRecord = readU32(t.topics, i * 16 + 8);
        EXPECT_EQ(urlRecord % 4096 / 12 < 341, true);
        EXPECT_EQ(readU32(t.urlTable, urlRecord + 4), i);
        const std::uint32_t urlString = readU32(t.urlTable, urlRecord + 8);
        const std::string url(reinterpret_cast<const char*>(t.urlStrings.data()) + urlString + 8);
        EXPECT_EQ(url, topics[i].url);
        EXPECT_EQ(readU32(t.urlTable, urlRecord), urlHash(url));
        EXPECT_EQ(urlString / 4096, (urlString + 8 + url.size()) / 4096) << url;
        EXPECT_EQ(t.topics[i * 16 + 12], topics[i].storedFile ? 2 : 0);
    }
}

TEST(Windows, RecordCarriesEveryFieldAtItsOffset) {
    WindowDefinition w;
    w.name = "main";
    w.caption = "Help";
    w.contentsFile = "toc.hhc";
    w.defaultFile = "a.htm";
    w.homeFile = "a.htm";
    w.jump1Url = "http://x";
    w.jump1Text = "X";
    w.navigationStyle = 0x2520;
    w.navPaneWidth = 200;
    w.buttons = 0x387E;
    w.left = 10;
    w.top = -1;
    w.right = 600;
    w.bottom = 400;
    w.windowStyle = 0x10;
    w.extendedStyle = 0x20;
    w.showState = 3;
    w.navPaneInitiallyClosed = 1;
    w.defaultPane = 2;
    w.tabPosition = 1;
    w.notificationId = 77;
    w.validMembers = 0x2532;
    StringPool pool;
    const auto bytes = buildWindows({w}, false, pool);
    // Strings in field order: main 1, Help 6, toc.hhc 11, a.htm 19, X 25, http://x 27.
    Bytes expected;
    expected
        .u32(1)          // number of windows
        .u32(196)        // record size
        .u32(196)        // 0x00 cbStruct
        .u32(0)          // 0x04 8-bit strings
        .u32(1)          // 0x08 "main"
        .u32(0x2532)     // 0x0C valid members
        .u32(0x2520)     // 0x10 properties
        .u32(6)          // 0x14 "Help"
        .u32(0x10)       // 0x18 styles
        .u32(0x20)       // 0x1C extended styles
        .u32(10)         // 0x20 left
        .u32(0xFFFFFFFF) //      top
        .u32(600)        //      right
        .u32(400)        //      bottom
        .u32(3)          // 0x30 show state
        .zeros(24)       // 0x34 run-time handles
        .u32(200)        // 0x4C navigation width
        .zeros(16)       // 0x50 HTML pane
        .u32(11)         // 0x60 "toc.hhc"
        .u32(0)          // 0x64 no index
        .u32(19)         // 0x68 "a.htm"
        .u32(19)         // 0x6C home, the same string
        .u32(0x387E)     // 0x70 buttons
        .u32(1)          // 0x74 closed
        .u32(2)          // 0x78 default tab
        .u32(1)          // 0x7C tab position
        .u32(77)         // 0x80 notify id
        .zeros(24)       // 0x84 tab order, history count
        .u32(25)         // 0x9C jump 1 text
        .u32(0)          // 0xA0 jump 2 text
        .u32(27)         // 0xA4 jump 1 URL
        .u32(0)          // 0xA8 jump 2 URL
        .zeros(24);      // 0xAC minimum size, info types, custom tabs
    EXPECT_EQ(bytes, expected.v);
    EXPECT_EQ(pool.bytes(), Bytes{}
                                .zeros(1)
                                .str("main")
                                .str("Help")
                                .str("toc.hhc")
                                .str("a.htm")
                                .str("X")
                                .str("http://x")
                                .v);

    StringPool oldPool;
    const auto old = buildWindows({w, w}, true, oldPool);
    EXPECT_EQ(old.size(), 8u + 2 * 188);
    EXPECT_EQ(readU32(old, 8), 188u);
    EXPECT_EQ(readU32(old, 8 + 188 + 8), 1u); // second record names the same type string
}

TEST(ContextIds, PairsInGivenOrder) {
    StringPool pool;
    const auto bytes = buildContextIds({{100, "a.htm"}, {4, "b.htm"}, {7, "a.htm"}}, pool);
    EXPECT_EQ(bytes, Bytes{}
                         .u32(24) // bytes that follow
                         .u32(100)
                         .u32(1) // "a.htm"
                         .u32(4)
                         .u32(7) // "b.htm"
                         .u32(7)
                         .u32(1)
                         .v);
}

TEST(IndexHeader, UnsetPropertiesAreAllOnes) {
    StringPool pool;
    const auto bare = buildIndexHeader({}, {}, 16, 0, pool);
    ASSERT_EQ(bare.size(), 4096u);
    EXPECT_EQ(std::string(bare.begin(), bare.begin() + 4), "T#SM");
    EXPECT_EQ(readU32(bare, 0x0C), 16u); // topics
    // image list, colours, font, window styles, frame and window names
    for (std::size_t at : {0x14, 0x20, 0x24, 0x28, 0x2C, 0x30, 0x34, 0x38, 0x3C})
        EXPECT_EQ(readU32(bare, at), 0xFFFFFFFFu) << at;
    EXPECT_EQ(readU32(bare, 0x48), 0u); // merge files

    SitemapProperties p;
    p.imageTypeFolder = true;
    p.background = 0xFFFFFF;
    p.windowStyles = 0x800025;
    p.font = "Tahoma,8,0";
    p.frameName = "right";
    StringPool pool2;
    const auto set = buildIndexHeader(p, {"a.chm", "b.chm"}, 3, 0x1234, pool2);
    ASSERT_EQ(set.size(), 4096u);
    EXPECT_EQ(readU32(set, 0x04), 0x1234u);
    EXPECT_EQ(readU32(set, 0x1C), 1u);
    EXPECT_EQ(readU32(set, 0x20), 0xFFFFFFu);
    EXPECT_EQ(readU32(set, 0x24), 0xFFFFFFFFu);
    EXPECT_EQ(readU32(set, 0x28), 1u); // "Tahoma,8,0"
    EXPECT_EQ(readU32(set, 0x2C), 0x800025u);
    EXPECT_EQ(readU32(set, 0x38), 12u); // "right"
    EXPECT_EQ(readU32(set, 0x48), 2u);
    EXPECT_EQ(readU32(set, 0x50), 18u); // "a.chm"
    EXPECT_EQ(readU32(set, 0x54), 24u); // "b.chm"
    EXPECT_EQ(readU32(set, 0x58), 0u);
}

} // namespace
} // namespace chm
