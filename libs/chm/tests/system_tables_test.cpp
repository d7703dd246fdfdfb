// The string pool, the URL hash and the topic tables. #WINDOWS and #IVB are
// read back in system_files_test.cpp.
#include "chm/byte_cursor.h"
#include "chm/system_tables.h"

#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

std::uint32_t readU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return ByteCursor(b).at(at).u32();
}

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

// Enough topics with long names to fill several blocks of both URL files; every reference
// must lead back to its own topic, no record may straddle a block boundary, and each topic
// keeps its title, contents position and flags.
TEST(TopicTables, CrossReferencesSurviveBlockBoundaries) {
    std::vector<TopicRecord> topics;
    StringPool pool;
    for (std::uint32_t i = 0; i < 700; ++i) {
        const std::string title = i % 2 ? "" : "Title " + std::to_string(i);
        pool.add(title);
        topics.push_back({"folder/page_" + std::to_string(i) + std::string(40, 'q') + ".htm", title,
                          i % 3 != 0, i % 5 ? 0 : 4096 + 20 * i});
    }
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
        EXPECT_EQ(readU32(t.topics, i * 16), topics[i].contentsOffset);
        EXPECT_EQ(readU32(t.topics, i * 16 + 4),
                  topics[i].title.empty() ? 0xFFFFFFFFu : pool.add(topics[i].title));
        EXPECT_EQ(readU32(t.topics, i * 16 + 12),
                  (topics[i].storedFile ? 2u : 0u) | (topics[i].contentsOffset ? 4u : 0u));
    }
}

} // namespace
} // namespace chm
