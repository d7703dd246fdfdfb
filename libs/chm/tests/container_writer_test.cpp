// The writer's contract: which names it takes, what it adds, the fields readers insist on, and
// reproducible output. Reading back is libmspack's job here; chmlib and 7-Zip get the same files
// in container_oracle_test.cpp.
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
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::uint64_t u64(const Bytes& b, std::size_t at) {
    return std::uint64_t{u32(b, at)} | std::uint64_t{u32(b, at + 4)} << 32;
}

Bytes build(ContainerWriter& writer) {
    Bytes out;
    EXPECT_EQ(writer.build(out), WriteError::None);
    return out;
}

struct NameCase {
    const char* label;
    std::string name;
    WriteError expected;
};

class Names : public ::testing::TestWithParam<NameCase> {};

TEST_P(Names, AreCheckedWhenAdded) {
    ContainerWriter writer;
    EXPECT_EQ(writer.addFile(GetParam().name, {1, 2, 3}, Section::Compressed), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, Names,
    ::testing::Values(NameCase{"Page", "/index.htm", WriteError::None},
                      NameCase{"SystemFile", "/#SYSTEM", WriteError::None},
                      NameCase{"BTree", "/$WWKeywordLinks/BTree", WriteError::None},
                      NameCase{"Blanks", "/E - Minder Images/About.jpg", WriteError::None},
                      NameCase{"Longest", "/" + std::string(511, 'x'), WriteError::None},
                      NameCase{"TooLong", "/" + std::string(512, 'x'), WriteError::BadName},
                      NameCase{"Empty", "", WriteError::BadName},
                      NameCase{"Root", "/", WriteError::BadName},
                      NameCase{"Relative", "index.htm", WriteError::BadName},
                      NameCase{"Storage", "::DataSpace/NameList", WriteError::BadName},
                      NameCase{"Folder", "/img/", WriteError::BadName},
                      NameCase{"EmptyPart", "/img//a.gif", WriteError::BadName},
                      NameCase{"Dot", "/./a.htm", WriteError::BadName},
                      NameCase{"DotDot", "/a/../../b.htm", WriteError::BadName},
                      NameCase{"Nul", std::string("/a\0b.htm", 8), WriteError::BadName}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(Writer, RefusesNamesThatDifferOnlyInCase) {
    ContainerWriter writer;
    EXPECT_EQ(writer.addFile("/Index.htm", {}, Section::Compressed), WriteError::None);
    EXPECT_EQ(writer.addFile("/index.HTM", {}, Section::Uncompressed), WriteError::DuplicateName);
    EXPECT_EQ(writer.addFile("/Index.htm", {}, Section::Compressed), WriteError::DuplicateName);
}

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

// A folder is spelled as the first file added under it spells it.
TEST(Writer, WritesOneFolderEntryPerFolder) {
    ContainerWriter writer;
    ASSERT_EQ(writer.addFile("/Img/a.gif", {1}, Section::Compressed), WriteError::None);
    ASSERT_EQ(writer.addFile("/img/sub/b.gif", {2}, Section::Compressed), WriteError::None);
    const Bytes chm = build(writer);
    const std::string text(chm.begin(), chm.end());
    // Each entry is stored as ENCINT length + name; folders are section 0, offset 0, length 0.
    EXPECT_NE(text.find(std::string("\x01/\x00\x00\x00", 5)), std::string::npos);
    EXPECT_NE(text.find(std::string("\x05/Img/\x00\x00\x00", 9)), std::string::npos);
    EXPECT_NE(text.find(std::string("\x09/img/sub/\x00\x00\x00", 13)), std::string::npos);
    EXPECT_EQ(text.find("\x05/img/"), std::string::npos); // no second "/Img/" in other letters
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
    EXPECT_EQ(make(1), one);
    EXPECT_EQ(make(2), one);
    EXPECT_EQ(make(5), one);
}

// The header fields that readers refuse files over (format notes, 1.2-1.4 and 2.5).
TEST(Writer, HeaderFieldsReadersCheck) {
    ContainerWriter writer({0x0804, 0x12345678, 1});
    ASSERT_EQ(writer.addFile("/index.htm", textLike(100000, 1), Section::Compressed),
              WriteError::None);
    const Bytes chm = build(writer);
    ASSERT_GE(chm.size(), 0x78u + 0x54u);
    EXPECT_EQ(std::memcmp(chm.data(), "ITSF", 4), 0);
    EXPECT_EQ(u32(chm, 0x04), 3u);             // version (7-Zip takes only 3)
    EXPECT_EQ(u32(chm, 0x08), 0x60u);          // header length
    EXPECT_EQ(u32(chm, 0x14), 0x0804u);        // LCID from the options
    EXPECT_EQ(chm[0x18], 0x10);                // GUID {7C01FD10-...}
    EXPECT_EQ(chm[0x28], 0x11);                // GUID {7C01FD11-...}: libmspack checks both
    EXPECT_EQ(u64(chm, 0x60 + 8), chm.size()); // header section 0: the file size
    const std::size_t itsp = 0x78;
    EXPECT_EQ(std::memcmp(chm.data() + itsp, "ITSP", 4), 0);
    EXPECT_EQ(u32(chm, itsp + 0x10), 0x1000u);     // chunk size
    EXPECT_EQ(u32(chm, itsp + 0x18), 1u);          // depth: one listing chunk, no index
    EXPECT_EQ(u32(chm, itsp + 0x1C), 0xFFFFFFFFu); // no index root
    EXPECT_EQ(u32(chm, itsp + 0x20), 0u);          // first listing chunk
    EXPECT_EQ(u32(chm, itsp + 0x30), 0x0409u);     // as in every Microsoft-made file

    // ResetTable: frames + 1 entries, the last equal to the compressed length.
    const std::string text(chm.begin(), chm.end());
    const std::size_t name = text.find("InstanceData/ResetTable");
    ASSERT_NE(name, std::string::npos);
    const std::size_t entry = name + std::strlen("InstanceData/ResetTable");
    ASSERT_EQ(chm[entry], 0); // section 0
    // Offset and length are ENCINTs; both are small here.
    std::size_t at = entry + 1;
    std::uint64_t offset = 0;
    do {
        offset = offset << 7 | (chm[at] & 0x7F);
    } while (chm[at++] & 0x80);
    const std::size_t table = u64(chm, 0x58) + offset;
    const std::uint32_t entries = u32(chm, table + 4);
    EXPECT_EQ(u32(chm, table), 2u);             // version
    EXPECT_EQ(entries, 4u + 1u);                // 100000 bytes = 4 frames, plus the end
    EXPECT_EQ(u64(chm, table + 0x10), 100000u); // uncompressed length, unpadded
    EXPECT_EQ(u64(chm, table + 0x20), 0x8000u); // frame size
    EXPECT_EQ(u64(chm, table + 0x28), 0u);      // frame 0
    EXPECT_EQ(u64(chm, table + 0x28 + 8 * 4), u64(chm, table + 0x18)); // end = compressed length
}

// 20000 names need more than one level of index chunks; every name must still be found
// through them.
TEST(Writer, DeepDirectoryIsFoundThroughTheIndex) {
    ContainerWriter writer;
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        names.push_back("/topics/section-" + std::to_string(i % 97) + "/page-" + std::to_string(i) +
                        ".htm");
        ASSERT_EQ(writer.addFile(names.back(), {static_cast<std::uint8_t>(i)}, Section::Compressed),
                  WriteError::None);
    }
    const Bytes chm = build(writer);
    EXPECT_GE(u32(chm, 0x78 + 0x18), 3u); // index depth: listing + two index levels
    const MspackView view = readWithLibmspack(chm);
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << view.problems.size() << " problems, first "
                                       << (view.problems.empty() ? "" : view.problems[0]);
    EXPECT_EQ(view.files.size(), names.size() + 1); // and /#ITBITS
    for (std::size_t i = 0; i < names.size(); i += 97) {
        EXPECT_EQ(view.files.at(names[i]), Bytes{static_cast<std::uint8_t>(i)}) << names[i];
    }
}

TEST(Writer, EmptyContainerStillOpens) {
    ContainerWriter writer;
    const MspackView view = readWithLibmspack(build(writer));
    EXPECT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    EXPECT_EQ(view.names, std::vector<std::string>{"/#ITBITS"});
}

} // namespace
} // namespace container_test
