// The writer's contract: which names it takes, what it adds, the directory's chunk boundaries
// and reproducible output. Reading back is libmspack's job here; chmlib and 7-Zip, which check
// the header fields and the reset table, get the same files in container_oracle_test.cpp.
#include "chm/byte_cursor.h"
#include "chm/container_writer.h"
#include "container_test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace container_test {
namespace {

using chm::ContainerWriter;
using chm::Section;
using chm::WriteError;

std::uint32_t u32(const Bytes& b, std::size_t at) {
    return chm::ByteCursor(b).at(at).u32();
}

Bytes build(ContainerWriter& writer) {
    Bytes out;
    EXPECT_EQ(writer.build(out), WriteError::None);
    return out;
}

struct NameCase {
    const char* label;
    std::string name;
};

class Names : public ::testing::TestWithParam<NameCase> {};

TEST_P(Names, AreRefusedWhenAdded) {
    ContainerWriter writer;
    EXPECT_EQ(writer.addFile(GetParam().name, {1, 2, 3}, Section::Compressed), WriteError::BadName);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, Names,
    // Names that are taken: every other test adds some, LongestNames below the longest (511
    // bytes after the '/').
    ::testing::Values(NameCase{"TooLong", "/" + std::string(512, 'x')}, NameCase{"Empty", ""},
                      NameCase{"Root", "/"}, NameCase{"Relative", "index.htm"},
                      NameCase{"Storage", "::DataSpace/NameList"}, NameCase{"Folder", "/img/"},
                      NameCase{"EmptyPart", "/img//a.gif"}, NameCase{"Dot", "/./a.htm"},
                      NameCase{"DotDot", "/a/../../b.htm"},
                      NameCase{"Nul", std::string("/a\0b.htm", 8)}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(Writer, ListsNamesInLowercaseByteOrderWithFoldersAndItbits) {
    ContainerWriter writer;
    // Added out of order; "_" (0x5F) sorts before letters only when comparing lowercase.
    for (const char* name : {"/docs/commands/AutoTrim.htm", "/docs/commands/_WinActivateForce.htm",
                             "/Docs/B.htm", "/a.htm", "/$WWKeywordLinks/BTree"}) {
        ASSERT_EQ(writer.addFile(name, {'x'}, Section::Compressed), WriteError::None) << name;
    }
    ASSERT_EQ(writer.addFile("/#SYSTEM", {1, 2, 3, 4}, Section::Uncompressed), WriteError::None);
    const MspackView view = readWithLibmspack(build(writer));
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    // libmspack lists files in directory order and leaves folder entries out.
    EXPECT_EQ(view.names,
              (std::vector<std::string>{"/#ITBITS", "/#SYSTEM", "/$WWKeywordLinks/BTree", "/a.htm",
                                        "/Docs/B.htm", "/docs/commands/_WinActivateForce.htm",
                                        "/docs/commands/AutoTrim.htm"}));
    EXPECT_EQ(view.files.at("/#SYSTEM"), (Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(view.files.at("/#ITBITS").empty());
}

TEST(Writer, SameInputsGiveSameBytesWhateverTheThreadCount) {
    auto make = [](unsigned threads) {
        ContainerWriter writer({0x0804, 0x12345678, threads});
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(writer.addFile("/p" + std::to_string(i) + ".htm",
                                     textLike(20000, static_cast<std::uint32_t>(i)),
                                     Section::Compressed),
                      WriteError::None);
        }
        return build(writer);
    };
    const Bytes one = make(1);
    EXPECT_EQ(u32(one, 0x14), 0x0804u); // the LCID from the options, in the ITSF header
    EXPECT_EQ(make(1), one);
    EXPECT_EQ(make(2), one);
    EXPECT_EQ(make(5), one);
}

// Directory boundaries, every name read back and looked up through libmspack's index descent
// and quickrefs. The first listing chunk starts at 0x78 + 0x54 = 0xCC and holds "/" (5 bytes)
// and "/#ITBITS" (12) before our names; an empty file of a name of 128 to 16383 bytes takes
// 2 + length + 3 bytes. Seven 501-byte names and one of 506 make 0x14 + 17 + 7 * 506 + 511 =
// 4090 bytes: the last 6 hold the entry count and two quickref words, so nothing is left over.
// libmspack trusts the quickrefs only with room for ceil(entries / 5) words, one more than are
// written for 11 entries: eight 441-byte names and one of 480 would leave 4 bytes after 11
// entries, so the last one goes to the next chunk.
struct DirectoryCase {
    const char* label;
    std::vector<std::string> names;
    std::uint32_t firstChunkFree;    // the free-space field; 0: not checked
    std::uint16_t firstChunkEntries; // the count at the chunk's end
    std::uint32_t minimumDepth;      // of the index
};

// `count` names of `length` bytes and one of `lastLength`, in that order.
std::vector<std::string> fillingNames(std::size_t count, std::size_t length,
                                      std::size_t lastLength) {
    std::vector<std::string> names;
    for (char c = 'a'; names.size() < count; ++c)
        names.push_back("/" + std::string(1, c) + std::string(length - 2, 'x'));
    names.push_back("/z" + std::string(lastLength - 2, 'x'));
    return names;
}

std::vector<std::string> numberedNames(std::size_t count, std::size_t length) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = "/" + std::to_string(100000 + i);
        names.push_back(name + std::string(length - name.size(), 'x'));
    }
    return names;
}

void PrintTo(const DirectoryCase& c, std::ostream* out) {
    *out << c.label;
}

class Directory : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(Directory, EveryNameIsFoundThroughTheIndex) {
    const DirectoryCase& c = GetParam();
    ContainerWriter writer;
    for (const std::string& name : c.names)
        ASSERT_EQ(writer.addFile(name, {}, Section::Compressed), WriteError::None);
    const Bytes chm = build(writer);
    constexpr std::size_t kFirstChunk = 0xCC;
    EXPECT_EQ(std::memcmp(chm.data() + kFirstChunk, "PMGL", 4), 0);
    if (c.firstChunkFree != 0) {
        EXPECT_EQ(u32(chm, kFirstChunk + 4), c.firstChunkFree);
        EXPECT_EQ(chm::ByteCursor(chm).at(kFirstChunk + 0xFFE).u16(), c.firstChunkEntries);
    }
    EXPECT_GE(u32(chm, 0x78 + 0x18), c.minimumDepth);
    const MspackView view = readWithLibmspack(chm);
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << view.problems.size() << " problems, first "
                                       << (view.problems.empty() ? "" : view.problems[0]);
    EXPECT_EQ(view.files.size(), c.names.size() + 1); // and /#ITBITS
}

INSTANTIATE_TEST_SUITE_P(
    Writer, Directory,
    ::testing::Values(DirectoryCase{"ChunkFullToTheLastByte", fillingNames(7, 501, 506), 6, 10, 1},
                      DirectoryCase{"ChunkOneByteOver", fillingNames(7, 501, 507), 517, 9, 2},
                      DirectoryCase{"NoRoomForTheSpareQuickref", fillingNames(8, 441, 480), 491, 10,
                                    2},
                      DirectoryCase{"Names5000", numberedNames(5000, 12), 0, 0, 2},
                      DirectoryCase{"Names5001", numberedNames(5001, 12), 0, 0, 2},
                      DirectoryCase{"LongestNames", numberedNames(400, 512), 0, 0, 3},
                      DirectoryCase{"Empty", {}, 0, 0, 1}),
    [](const auto& param) { return std::string(param.param.label); });

} // namespace
} // namespace container_test
