// The search engine's object settings: the character table of each code page, and for 1252 the
// table Microsoft's compiler writes, byte for byte.
#include "chm/byte_cursor.h"
#include "chm/reader_archive.h"
#include "chm/system_tables.h"
#include "scratch_files.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace chm {
namespace {

namespace fs = std::filesystem;
std::uint32_t readU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return ByteCursor(b).at(at).u32();
}

constexpr std::size_t kObjectOne = 24;            // after the two-object directory
constexpr std::size_t kRecords = kObjectOne + 80; // the character table

// A byte's record: class, punctuation, weight, folded form, the byte, its Mac form. The Mac
// column is written twice and two zero bytes end the record.
using Record = std::array<int, 6>;

Record record(const std::vector<std::uint8_t>& b, std::size_t ch) {
    const std::size_t at = kRecords + 10 * ch;
    EXPECT_EQ(b.at(at + 6), b.at(at + 7)) << "byte " << ch;
    EXPECT_EQ(b.at(at + 8) | b.at(at + 9), 0) << "byte " << ch;
    return {b.at(at),     b.at(at + 1), b.at(at + 2) | b.at(at + 3) << 8,
            b.at(at + 4), b.at(at + 5), b.at(at + 6)};
}

void expectRecord(const std::vector<std::uint8_t>& b, std::size_t ch, Record want) {
    EXPECT_EQ(record(b, ch), want) << "byte " << ch;
}

// Entries worked out by hand from the rules, one of each kind: the check that stands when
// Microsoft's files (below) are not at hand.
TEST(ObjectInstance, CharacterClassesWeightsAndFolding1252) {
    const auto b = buildObjectInstance(1252, 0x409);
    expectRecord(b, 0x14, {0, 0, 0x020, 0x14, 0x14, 0x14}); // weighed as a space
    expectRecord(b, ',', {4, 0, 0x05A, ',', ',', ','});
    expectRecord(b, '_', {1, 0, 0x0A5, '_', '_', '_'});
    expectRecord(b, '7', {3, 0, 0x4A6, '7', '7', '7'});
    expectRecord(b, 'A', {2, 0, 0x4CE, 'a', 'A', 'A'});
    expectRecord(b, 0x80, {0, 0, 0x0C0, 0x80, 0x80, 0x20});   // euro: none in the old Mac Roman
    expectRecord(b, 0x8A, {2, 0, 0x636, 's', 0x8A, 0x20});    // S with caron
    expectRecord(b, 0x93, {0, 6, 0x104, 0x93, 0x93, 0xD2});   // left double quote
    expectRecord(b, 0xC6, {0x0C, 0, 0x4CE, 'a', 0xC6, 0xAE}); // Æ
    expectRecord(b, 0xDE, {2, 0, 0x442, 0xDE, 0xDE, 0x20});   // Þ: no ASCII base
    expectRecord(b, 0xFF, {2, 0, 0x6AE, 'y', 0xFF, 0xD8});    // ÿ
}

TEST(ObjectInstance, EqualsMicrosoftsFor1252) {
    const fs::path fixtures = chm_test::microsoftFixtures();
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
    // Cyrillic: letters fold to their lower case. The ASCII half is the same in every code page.
    const auto cyr = buildObjectInstance(1251, 0x419);
    EXPECT_EQ(record(cyr, 0xC0)[3], 0xE0); // А to а
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
        EXPECT_EQ(r, (Record{0, 0, r[2], static_cast<int>(lead), static_cast<int>(lead), 0x20}));
    }
}

} // namespace
} // namespace chm
