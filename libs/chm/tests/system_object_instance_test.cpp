// The search engine's object settings: the character table of each code page, and for 1252 the
// table Microsoft's compiler writes, byte for byte.
#include "chm/reader_archive.h"
#include "chm/system_tables.h"
#include "system_test_bytes.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

namespace fs = std::filesystem;
using test::readU32;

constexpr std::size_t kObjectOne = 24;              // after the two-object directory
constexpr std::size_t kRecords = kObjectOne + 80;   // the character table
constexpr std::size_t kLigatures = kRecords + 2560; // after 256 records of 10 bytes

struct Record {
    std::uint8_t cls, punctuation;
    std::uint16_t weight;
    std::uint8_t folded, self, mac;
};

Record record(const std::vector<std::uint8_t>& b, std::size_t ch) {
    const std::size_t at = kRecords + 10 * ch;
    EXPECT_EQ(b.at(at + 6), b.at(at + 7)) << "Mac column is written twice, byte " << ch;
    EXPECT_EQ(b.at(at + 8) | b.at(at + 9), 0) << "byte " << ch;
    return {
        b.at(at),     b.at(at + 1), static_cast<std::uint16_t>(b.at(at + 2) | b.at(at + 3) << 8),
        b.at(at + 4), b.at(at + 5), b.at(at + 6)};
}

void expectRecord(const std::vector<std::uint8_t>& b, std::size_t ch, Record want) {
    const Record got = record(b, ch);
    EXPECT_EQ(got.cls, want.cls) << "class of byte " << ch;
    EXPECT_EQ(got.punctuation, want.punctuation) << "punctuation of byte " << ch;
    EXPECT_EQ(got.weight, want.weight) << "weight of byte " << ch;
    EXPECT_EQ(got.folded, want.folded) << "folded form of byte " << ch;
    EXPECT_EQ(got.self, want.self) << "byte " << ch;
    EXPECT_EQ(got.mac, want.mac) << "Mac form of byte " << ch;
}

TEST(ObjectInstance, LayoutForWesternEuropean) {
    const auto b = buildObjectInstance(1252, 0x409);
    ASSERT_EQ(b.size(), 24u + 2691 + 36);
    EXPECT_EQ(readU32(b, 0x08), 24u);   // object 1
    EXPECT_EQ(readU32(b, 0x0C), 2691u); // its size
    EXPECT_EQ(readU32(b, 0x10), 2715u); // object 2
    EXPECT_EQ(readU32(b, 0x14), 36u);
    EXPECT_EQ(readU32(b, kObjectOne + 24), 1252u);  // code page
    EXPECT_EQ(readU32(b, kObjectOne + 28), 0x409u); // LCID
    EXPECT_EQ(readU32(b, kObjectOne + 44), 2575u);  // records and ligatures
    EXPECT_EQ(b[kObjectOne + 48] | b[kObjectOne + 49] << 8, 256);
    EXPECT_EQ(b[kObjectOne + 50], 5); // ligatures
    // Æ æ ß Œ œ, in that order, each with its two letters.
    const std::vector<std::uint8_t> ligatures(b.begin() + kLigatures, b.begin() + kLigatures + 15);
    EXPECT_EQ(ligatures, (std::vector<std::uint8_t>{0xC6, 'a', 'e', 0xE6, 'a', 'e', 0xDF, 's', 's',
                                                    0x8C, 'o', 'e', 0x9C, 'o', 'e'}));
    EXPECT_EQ(readU32(b, kLigatures + 15), 0x8FA0D5A8u); // the stemmer's identity
    EXPECT_EQ(readU32(b, kLigatures + 39), 1252u);
}

// Entries worked out by hand from the rules, one of each kind.
TEST(ObjectInstance, CharacterClassesWeightsAndFolding1252) {
    const auto b = buildObjectInstance(1252, 0x409);
    expectRecord(b, 0x00, {0, 0, 0x000, 0x00, 0x00, 0x00});
    expectRecord(b, 0x14, {0, 0, 0x020, 0x14, 0x14, 0x14}); // weighed as a space
    expectRecord(b, '!', {0, 0, 0x023, '!', '!', '!'});
    expectRecord(b, ',', {4, 0, 0x05A, ',', ',', ','});
    expectRecord(b, '.', {5, 0, 0x064, '.', '.', '.'});
    expectRecord(b, '?', {9, 0, 0x087, '?', '?', '?'});
    expectRecord(b, '_', {1, 0, 0x0A5, '_', '_', '_'});
    expectRecord(b, '7', {3, 0, 0x4A6, '7', '7', '7'});
    expectRecord(b, 'A', {2, 0, 0x4CE, 'a', 'A', 'A'});
    expectRecord(b, 'z', {1, 0, 0x6C2, 'z', 'z', 'z'});
    expectRecord(b, 0x80, {0, 0, 0x0C0, 0x80, 0x80, 0x20});   // euro: none in the old Mac Roman
    expectRecord(b, 0x88, {0, 0, 0x0E1, 0x88, 0x88, '^'});    // modifier circumflex
    expectRecord(b, 0x8A, {2, 0, 0x636, 's', 0x8A, 0x20});    // S with caron
    expectRecord(b, 0x8E, {0, 0, 0x0F7, 0x8E, 0x8E, 0x20});   // Z with caron: not yet a letter
    expectRecord(b, 0x93, {0, 6, 0x104, 0x93, 0x93, 0xD2});   // left double quote
    expectRecord(b, 0x97, {0, 3, 0x118, 0x97, 0x97, 0xD1});   // em dash
    expectRecord(b, 0xA0, {0, 0, 0x13C, 0xA0, 0xA0, 0xA0});   // no-break space keeps its byte
    expectRecord(b, 0xA4, {0, 0, 0x14F, 0xA4, 0xA4, 0xDB});   // currency sign
    expectRecord(b, 0xC6, {0x0C, 0, 0x4CE, 'a', 0xC6, 0xAE}); // Æ
    expectRecord(b, 0xD7, {0, 0, 0x1DB, 0xD7, 0xD7, 0x20});   // ×
    expectRecord(b, 0xDE, {2, 0, 0x442, 0xDE, 0xDE, 0x20});   // Þ: no ASCII base
    expectRecord(b, 0xE9, {2, 0, 0x51E, 'e', 0xE9, 0x8E});    // é
    expectRecord(b, 0xF0, {2, 0, 0x50A, 'o', 0xF0, 0x20});    // ð
    expectRecord(b, 0xFE, {2, 0, 0x44C, 0xFE, 0xFE, 0x20});   // þ
    expectRecord(b, 0xFF, {2, 0, 0x6AE, 'y', 0xFF, 0xD8});    // ÿ
}

// Help files from Microsoft's compiler, when the shared fixtures lie beside the source tree.
fs::path microsoftFixtures() {
    if (const char* source = std::getenv("QUORLIN_SOURCE_DIR")) {
        const fs::path folder = fs::path(source) / ".." / "shared" / "fixtures" / "ms-made";
        if (fs::exists(folder / "help2.chm"))
            return folder;
    }
    return {};
}

TEST(ObjectInstance, EqualsMicrosoftsFor1252) {
    const fs::path fixtures = microsoftFixtures();
    if (fixtures.empty())
        GTEST_SKIP() << "Microsoft-made help files not found beside the source tree "
                        "(shared/fixtures/ms-made)";
    const auto ours = buildObjectInstance(1252, 0x409);
    for (const char* name : {"help1.chm", "help2.chm"}) {
        ReaderArchive archive;
        ASSERT_EQ(archive.openFile((fixtures / name).string()), ReadError::Ok) << name;
        std::vector<std::uint8_t> theirs;
        ASSERT_EQ(archive.read("/$OBJINST", theirs, 1 << 20), ReadError::Ok) << name;
        ASSERT_EQ(theirs.size(), ours.size()) << name;
        for (std::size_t i = 0; i < ours.size(); ++i)
            ASSERT_EQ(ours[i], theirs[i]) << name << ": first difference at offset " << i;
    }
}

TEST(ObjectInstance, OtherSingleByteCodePages) {
    // Central European: Polish ł folds to l, Ł shares its weight.
    const auto ce = buildObjectInstance(1250, 0x415);
    expectRecord(ce, 0xA3, {2, 0, 0x5AA, 'l', 0xA3, 0xFC});
    expectRecord(ce, 0xB3, {2, 0, 0x5AA, 'l', 0xB3, 0xB8});
    EXPECT_EQ(ce[kObjectOne + 50], 1); // ß
    // Cyrillic: letters fold to their lower case, both cases share a weight that sorts below
    // the digits and above every symbol.
    const auto cyr = buildObjectInstance(1251, 0x419);
    const Record upperA = record(cyr, 0xC0); // А
    const Record lowerA = record(cyr, 0xE0); // а
    EXPECT_EQ(upperA.cls, 2);
    EXPECT_EQ(upperA.folded, 0xE0);
    EXPECT_EQ(lowerA.folded, 0xE0);
    EXPECT_EQ(upperA.weight, lowerA.weight);
    EXPECT_GT(upperA.weight, record(cyr, 0xBB).weight);
    EXPECT_LT(record(cyr, 0xFF).weight, 0x460); // я
    EXPECT_LT(lowerA.weight, record(cyr, 0xFF).weight);
    EXPECT_EQ(record(cyr, 0xE0).mac, 0xE0); // same place in Mac Cyrillic
    EXPECT_EQ(cyr[kObjectOne + 50], 0);
    // The ASCII half is the same in every code page.
    const auto western = buildObjectInstance(1252, 0x409);
    EXPECT_TRUE(std::equal(cyr.begin() + kRecords, cyr.begin() + kRecords + 1280,
                           western.begin() + kRecords));
}

TEST(ObjectInstance, DoubleByteCodePageKeepsTheUpperHalfAsItIs) {
    const auto b = buildObjectInstance(936, 0x804);
    ASSERT_EQ(b.size(), 24u + 2676 + 36);
    EXPECT_EQ(readU32(b, kObjectOne + 24), 936u);
    EXPECT_EQ(readU32(b, kObjectOne + 28), 0x804u);
    EXPECT_EQ(b[kObjectOne + 50], 0); // no ligatures
    expectRecord(b, 'Q', {2, 0, 0x60E, 'q', 'Q', 'Q'});
    for (std::size_t lead = 0x81; lead < 0xFF; ++lead) {
        const Record r = record(b, lead);
        EXPECT_EQ(r.cls, 0) << lead;
        EXPECT_EQ(r.folded, lead);
        EXPECT_EQ(r.mac, 0x20);
    }
}

} // namespace
} // namespace chm
