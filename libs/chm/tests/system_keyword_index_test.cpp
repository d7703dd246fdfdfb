// The binary keyword index: a one-block tree byte by byte, and the shape of a multi-block tree.
#include "chm/system_tables.h"
#include "system_test_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

using test::Bytes;
using test::readU16;
using test::readU32;

constexpr std::size_t kHeader = 0x4C;
constexpr std::size_t kBlock = 2048;

TEST(KeywordIndex, OneBlockTree) {
    const std::vector<FlatKeyword> keywords = {
        {u"create", 0, 0, u"", {5, 7}},
        {u"create, table", 1, 8, u"", {5}},
        {u"new", 0, 0, u"create", {}},
    };
    std::size_t dropped = 0;
    const KeywordFiles f = buildKeywordFiles(keywords, 936, 0x0804, dropped);
    EXPECT_EQ(dropped, 0u);

    Bytes header;
    header.v = {0x3B, 0x29}; // 0x00 signature
    header
        .u16(0x0104) // 0x02 flags
        .u16(2048);  // 0x04 block size
    header.v.insert(header.v.end(), {'X', '4', '4'});
    header
        .zeros(13)       //      format, zero-padded to 16
        .u32(0)          // 0x16
        .u32(0)          // 0x1A last listing block
        .u32(0)          // 0x1E root block
        .u32(0xFFFFFFFF) // 0x22
        .u32(1)          // 0x26 blocks
        .u16(1)          // 0x2A depth
        .u32(3)          // 0x2C keywords
        .u32(936)        // 0x30 code page
        .u32(0x0804)     // 0x34 LCID
        .u32(1)          // 0x38
        .u32(10031)      // 0x3C
        .zeros(12);      // 0x40
    Bytes entries;
    entries.wide(u"create")
        .u16(0) // not a see-also entry
        .u16(0) // top level
        .u32(0) // own text starts at 0
        .u32(0)
        .u32(2) // topics
        .u32(5)
        .u32(7)
        .u32(1)
        .u32(0) // record 0 in Data
        .wide(u"create, table")
        .u16(0)
        .u16(1) // second level
        .u32(8) // "table" starts at 8
        .u32(0)
        .u32(1)
        .u32(5)
        .u32(1)
        .u32(13)
        .wide(u"new")
        .u16(2) // see-also
        .u16(0)
        .u32(0)
        .u32(0)
        .wide(u"create") // the cross reference instead of topics
        .u32(1)
        .u32(26);
    Bytes block;
    block
        .u16(static_cast<std::uint16_t>(kBlock - 12 - entries.v.size())) // free bytes
        .u16(3)                                                          // entries
        .u32(0xFFFFFFFF)                                                 // previous listing block
        .u32(0xFFFFFFFF);                                                // next listing block
    block.v.insert(block.v.end(), entries.v.begin(), entries.v.end());
    block.zeros(kBlock - block.v.size());
    header.v.insert(header.v.end(), block.v.begin(), block.v.end());
    EXPECT_EQ(f.btree, header.v);

    EXPECT_EQ(f.map, Bytes{}.u16(1).u32(0).u32(0).v); // one listing block, no keyword before it
    Bytes data;
    for (int i = 0; i < 3; ++i)
        data.u32(0).u32(5).u32(0x80).zeros(1);
    EXPECT_EQ(f.data, data.v);
    EXPECT_EQ(f.property, Bytes{}.u32(0).u32(0).u32(0).u32(0x0C).u32(1).u32(1).u32(0).u32(0).v);
}

TEST(KeywordIndex, NoKeywordsGivesOnlyTheEmptyProperty) {
    std::size_t dropped = 0;
    const KeywordFiles f = buildKeywordFiles({}, 1252, 0x409, dropped);
    EXPECT_TRUE(f.btree.empty());
    EXPECT_EQ(f.property, std::vector<std::uint8_t>(4, 0));
}

std::u16string keywordAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t& end) {
    std::u16string s;
    for (end = at; readU16(b, end) != 0; end += 2)
        s.push_back(static_cast<char16_t>(readU16(b, end)));
    end += 2;
    return s;
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
