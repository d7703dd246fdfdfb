// The binary keyword index, walked as a viewer walks it.
#include "chm/byte_cursor.h"
#include "chm/system_tables.h"

#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

std::uint32_t readU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return ByteCursor(b).at(at).u32();
}

std::uint16_t readU16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return ByteCursor(b).at(at).u16();
}

constexpr std::size_t kHeader = 0x4C;
constexpr std::size_t kBlock = 2048;

std::u16string keywordAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t& end) {
    std::u16string s;
    for (end = at; readU16(b, end) != 0; end += 2)
        s.push_back(static_cast<char16_t>(readU16(b, end)));
    end += 2;
    return s;
}

// A second-level keyword and a see-also entry, which carries its target instead of topics.
TEST(KeywordIndex, SecondLevelAndSeeAlsoEntries) {
    const std::vector<FlatKeyword> keywords = {
        {u"create", 0, 0, u"", {5, 7}},
        {u"create, table", 1, 8, u"", {5}},
        {u"new", 0, 0, u"create", {}},
    };
    std::size_t dropped = 0;
    const KeywordFiles f = buildKeywordFiles(keywords, 936, 0x0804, dropped);
    EXPECT_EQ(dropped, 0u);
    const auto& t = f.btree;
    ASSERT_EQ(t.size(), kHeader + kBlock);
    EXPECT_EQ(readU16(t, 0), 0x293B); // ";)"
    std::size_t end = 0;
    EXPECT_EQ(keywordAt(t, kHeader + 12, end), u"create");
    EXPECT_EQ(keywordAt(t, end + 28 + 4, end), u"create, table");
    EXPECT_EQ(readU16(t, end + 2), 1);  // depth
    EXPECT_EQ(readU32(t, end + 4), 8u); // where "table" starts
    EXPECT_EQ(keywordAt(t, end + 28, end), u"new");
    EXPECT_EQ(readU16(t, end), 2); // see-also
    EXPECT_EQ(keywordAt(t, end + 12, end), u"create");
    EXPECT_EQ(readU16(t, kHeader + 2), 3); // entries in the block
}

// Enough keywords for several listing blocks and two index levels: walks the tree as a viewer
// would and checks that every keyword is reached once, in order, through chains and index.
TEST(KeywordIndex, ManyBlocksFormAConsistentTree) {
    std::vector<FlatKeyword> keywords;
    for (int i = 0; i < 1000; ++i) {
        std::string n = std::to_string(100000 + i);
        keywords.push_back({std::u16string(n.begin(), n.end()) + std::u16string(60, u'k'),
                            0,
                            0,
                            u"",
                            {static_cast<std::uint32_t>(i)}});
    }
    std::size_t dropped = 0;
    const KeywordFiles f = buildKeywordFiles(keywords, 1252, 0x409, dropped);
    const auto& t = f.btree;
    const std::uint32_t lastListing = readU32(t, 0x1A);
    const std::uint32_t root = readU32(t, 0x1E);
    const std::uint32_t blocks = readU32(t, 0x26);
    ASSERT_EQ(t.size(), kHeader + blocks * kBlock);
    EXPECT_EQ(root, blocks - 1);
    EXPECT_EQ(readU16(t, 0x2A), 3); // listing, one index level, the root
    EXPECT_EQ(readU32(t, 0x2C), 1000u);
    EXPECT_EQ(readU16(f.map, 0), lastListing + 1);

    // Listing chain.
    std::size_t seen = 0;
    for (std::uint32_t b = 0; b <= lastListing; ++b) {
        const std::size_t base = kHeader + b * kBlock;
        EXPECT_EQ(readU32(t, base + 4), b == 0 ? 0xFFFFFFFF : b - 1);
        EXPECT_EQ(readU32(t, base + 8), b == lastListing ? 0xFFFFFFFF : b + 1);
        EXPECT_EQ(readU32(f.map, 2 + b * 8), seen);
        EXPECT_EQ(readU32(f.map, 6 + b * 8), b);
        std::size_t at = base + 12;
        const std::uint16_t count = readU16(t, base + 2);
        for (std::uint16_t e = 0; e < count; ++e, ++seen) {
            std::size_t end = 0;
            EXPECT_EQ(keywordAt(t, at, end), keywords[seen].text);
            EXPECT_EQ(readU32(t, end + 12), 1u);        // one topic
            EXPECT_EQ(readU32(t, end + 16), seen);      // its number
            EXPECT_EQ(readU32(t, end + 24), 13 * seen); // Data offset
            at = end + 28;
        }
        EXPECT_EQ(readU16(t, base), kBlock - (at - base)); // free bytes
    }
    EXPECT_EQ(seen, keywords.size());

    // Every index entry names the first keyword of the block it leads to.
    const auto firstKeyword = [&](std::uint32_t block) {
        while (block > lastListing) // an index block's keys start with its first child's
            block = readU32(t, kHeader + block * kBlock + 4);
        std::size_t end = 0;
        return keywordAt(t, kHeader + block * kBlock + 12, end);
    };
    std::vector<int> references(blocks, 0);
    for (std::uint32_t b = lastListing + 1; b < blocks; ++b) {
        const std::size_t base = kHeader + b * kBlock;
        ++references.at(readU32(t, base + 4));
        std::size_t at = base + 8;
        for (std::uint16_t e = 0; e < readU16(t, base + 2); ++e) {
            std::size_t end = 0;
            const std::u16string key = keywordAt(t, at, end);
            const std::uint32_t child = readU32(t, end + 20);
            EXPECT_LT(child, b);
            EXPECT_EQ(firstKeyword(child), key);
            ++references.at(child);
            at = end + 24;
        }
    }
    // Each block but the root hangs in the tree exactly once.
    for (std::uint32_t b = 0; b < blocks; ++b)
        EXPECT_EQ(references[b], b == root ? 0 : 1) << b;
}

TEST(KeywordIndex, OverfullEntryLosesItsLastReferences) {
    FlatKeyword k{u"everything", 0, 0, u"", {}};
    for (std::uint32_t i = 0; i < 1000; ++i)
        k.topics.push_back(i);
    std::size_t dropped = 0;
    const KeywordFiles f = buildKeywordFiles({k}, 1252, 0x409, dropped);
    EXPECT_GT(dropped, 0u);
    const std::size_t refs = readU32(f.btree, kHeader + 12 + 22 + 12);
    EXPECT_EQ(refs + dropped, 1000u);
    EXPECT_LE(12 + 22 + 16 + refs * 4 + 8, kBlock);
    EXPECT_EQ(f.btree.size(), kHeader + kBlock);
}

} // namespace
} // namespace chm
