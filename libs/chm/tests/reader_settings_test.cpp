// #SYSTEM and #WINDOWS parsing from hand-built bytes, and the project file built from them.
#include "chm/reader_decompile.h"
#include "chm/reader_settings.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void record(Bytes& b, unsigned code, const Bytes& data) {
    b.push_back(static_cast<std::uint8_t>(code)); // WORD code
    b.push_back(0);
    b.push_back(static_cast<std::uint8_t>(data.size())); // WORD length
    b.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    b.insert(b.end(), data.begin(), data.end());
}

Bytes text(const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

// Records in any order; an unknown code is skipped by its length, one past the end is dropped.
// The fields themselves are read from other compilers' files in reader_decompile_test.cpp.
TEST(ReaderSettings, ParsesSystemRecordsInAnyOrder) {
    Bytes sys;
    put32(sys, 3);                                       // version: 1.1 or later
    record(sys, 3, text("My Help"));                     // title
    record(sys, 77, Bytes(5, 0xAB));                     // unknown code
    record(sys, 2, text("intro.htm"));                   // default topic
    sys.insert(sys.end(), {1, 0, 0xFF, 0x7F, 'a', 'b'}); // code 1 claiming 32767 bytes: dropped
    std::vector<std::string> warnings;
    chm::SystemSettings s = chm::parseSystem(sys, warnings);
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(s.version, 3u);
    EXPECT_EQ(s.title, "My Help");
    EXPECT_EQ(s.defaultTopic, "intro.htm");
}

// One 196-byte window entry; string fields are #STRINGS offsets.
Bytes windowEntry(std::uint32_t name, std::uint32_t caption, std::uint32_t toc) {
    Bytes e(196, 0);
    auto at = [&](std::size_t off, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            e[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    at(0x00, 196);     // cbStruct
    at(0x08, name);    // pszType
    at(0x0C, 0x2532);  // fsValidMembers: properties, rect, nav width, toolbar, tab pos, tab
    at(0x10, 0x2120);  // fsWinProperties
    at(0x14, caption); // pszCaption
    at(0x20, 10);      // rect left, top, right, bottom
    at(0x24, 20);
    at(0x28, 700);
    at(0x2C, 500);
    at(0x4C, 200);    // iNavWidth
    at(0x60, toc);    // pszToc
    at(0x68, 0);      // pszFile: none
    at(0x70, 0x3006); // fsToolBarFlags
    return e;
}

TEST(ReaderSettings, WindowsTakeTheirTextsFromStringsAndSurviveBadOffsets) {
    Bytes strings = {0};
    auto add = [&](const std::string& s) {
        auto off = static_cast<std::uint32_t>(strings.size());
        strings.insert(strings.end(), s.begin(), s.end());
        strings.push_back(0);
        return off;
    };
    std::uint32_t name = add("main"), caption = add("Sample"), toc = add("toc.hhc");
    Bytes windows;
    put32(windows, 2);   // entries
    put32(windows, 196); // entry size
    Bytes a = windowEntry(name, caption, toc);
    Bytes b = windowEntry(name, 0xFFFFFF, toc); // caption far past #STRINGS
    windows.insert(windows.end(), a.begin(), a.end());
    windows.insert(windows.end(), b.begin(), b.end());
    std::vector<std::string> warnings;
    auto list = chm::parseWindows(windows, strings, warnings);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].caption, "Sample");
    EXPECT_EQ(list[0].toc, "toc.hhc");
    EXPECT_EQ(list[0].navWidth, 200u);
    EXPECT_EQ(list[1].caption, "");
    EXPECT_EQ(warnings.size(), 1u);

    // An entry count that the data cannot hold is cut short, not trusted.
    windows[0] = 200;
    warnings.clear();
    EXPECT_EQ(chm::parseWindows(windows, strings, warnings).size(), 2u);
    EXPECT_FALSE(warnings.empty());

    chm::ProjectSource src;
    src.system.defaultWindow = "MAIN";
    src.system.lcid = 0x409;
    src.windows = {list[0]};
    src.files = {"a.htm", "toc.hhc"};
    std::string hhp = chm::buildProject(src).text;
    EXPECT_NE(hhp.find("Default Window=main\r\n"), std::string::npos) << hhp;
    EXPECT_NE(hhp.find("Contents file=toc.hhc\r\n"), std::string::npos); // from the window
    EXPECT_NE(hhp.find("main=\"Sample\",\"toc.hhc\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",0x2120,200,"
                       "0x3006,[10,20,700,500],,,,,0,0,\r\n"),
              std::string::npos)
        << hhp;
    EXPECT_EQ(hhp.find("toc.hhc\r\n", hhp.find("[FILES]")), std::string::npos);
}

} // namespace
