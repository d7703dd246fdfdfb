#include "modProject.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using host::PathStyle;

std::string toPosix(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.size() >= 2 && s[1] == ':') {
        s.erase(0, 2);
    }
    return s;
}

// toPosix(s), with the leading climbs spelled "..\", "../", "..\", ... in turn.
std::string withWindowsClimbs(const std::string& s) {
    std::string result = toPosix(s);
    for (std::size_t i = 0; result.compare(3 * i, 3, "../") == 0; ++i) {
        result[3 * i + 2] = i % 2 == 0 ? '\\' : '/';
    }
    return result;
}

// The cases are written in Windows style; the POSIX run swaps every "\" for "/" and drops the
// drive letters, so both rule sets are checked on every host. It runs a second time with the
// leading climbs spelled "..\" and "../" in turn, as projects written on Windows give them.
TEST(ResolvePath, WorkedExamplesInBothStyles) {
    const struct {
        const char *folder, *name, *result, *nameAfter;
    } cases[] = {
        {"C:\\Help\\Src", "index.htm*", "C:\\Help\\Src\\index.htm*", "index.htm*"},
        {"C:\\Help\\Src\\", "pages\\a.htm", "C:\\Help\\Src\\pages\\a.htm", "pages\\a.htm"},
        {"C:\\Help\\Src", "..\\img\\b.gif", "C:\\Help\\img\\b.gif", "img\\b.gif"},
        {"C:\\Help\\Src\\Ch1", "..\\..\\common\\c.htm", "C:\\Help\\common\\c.htm", "common\\c.htm"},
        {"C:\\A\\BB\\C", "..\\..\\x.htm", "C:\\A\\x.htm", "x.htm"},
        {"C:\\", "e.htm", "C:\\e.htm", "e.htm"},
        {"C:\\Help", "..\\", "C:\\", ""},
        {"C:\\Help", "..", "C:\\Help\\..", ".."},
        {"C:\\Help", "..x.htm", "C:\\Help\\..x.htm", "..x.htm"},
        {"C:\\Help\\", "", "C:\\Help\\", ""},
        {"C:\\Help", "pages\\..\\a.htm", "C:\\Help\\pages\\..\\a.htm", "pages\\..\\a.htm"},
        {"C:\\Help", ".\\a.htm", "C:\\Help\\.\\a.htm", ".\\a.htm"},
        // Climbing above the root stops there instead of failing.
        {"C:\\Help", "..\\..\\..\\x.htm", "C:\\x.htm", "x.htm"},
        {"C:\\", "..\\x.htm", "C:\\x.htm", "x.htm"},
        // Absolute names come back unchanged.
        {"C:\\Help", "D:\\Other\\d.htm", "D:\\Other\\d.htm", "D:\\Other\\d.htm"}};
    for (const auto& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(modProject::ResolvePath(c.folder, name, PathStyle::Windows), c.result) << c.name;
        EXPECT_EQ(name, c.nameAfter) << c.name;
        for (const std::string& spelled : {toPosix(c.name), withWindowsClimbs(c.name)}) {
            name = spelled;
            EXPECT_EQ(modProject::ResolvePath(toPosix(c.folder), name, PathStyle::Posix),
                      toPosix(c.result))
                << spelled;
            EXPECT_EQ(name, toPosix(c.nameAfter)) << spelled;
        }
    }
}

TEST(ResolvePath, ASlashIsAnOrdinaryCharacterToTheWindowsRules) {
    std::string slashed = "../x.htm";
    EXPECT_EQ(modProject::ResolvePath("C:\\Help", slashed, PathStyle::Windows),
              "C:\\Help\\../x.htm");
}

TEST(ParentFolder, BothStyles) {
    struct Case {
        const char* path;
        const char* result;
    };
    for (const Case& c : {Case{"C:\\Help\\Src\\chm_hhp.hhp", "C:\\Help\\Src\\"},
                          Case{"C:\\x.hhp", "C:\\"}, Case{"C:\\Help\\", "C:\\Help\\"},
                          Case{"chm_hhp.hhp", "\\"}, Case{"\\chm_hhp.hhp", "\\"}, Case{"", "\\"}}) {
        EXPECT_EQ(modProject::ParentFolder(c.path, PathStyle::Windows), c.result) << c.path;
        EXPECT_EQ(modProject::ParentFolder(toPosix(c.path), PathStyle::Posix), toPosix(c.result))
            << c.path;
    }
}

} // namespace
