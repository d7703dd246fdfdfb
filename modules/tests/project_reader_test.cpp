#include "platform/host_error.h"
#include "test_support.h"

namespace {

using V = std::vector<std::string>;

TEST_F(ProjectTest, TheFilesSectionIsReadAsItStands) {
    const struct {
        const char* label;
        const char* content;
        bool result;
        V list;
    } cases[] = {
        {"plain", "[OPTIONS]\r\n[FILES]\r\na.htm\r\nsub\\b.htm\r\n\r\n[INFOTYPES]\r\n", true,
         V{"a.htm", "sub\\b.htm"}},
        {"last line counts", "[FILES]\r\na.htm\r\nb.htm", true, V{"a.htm", "b.htm"}},
        {"empty section", "[FILES]\r\n\r\na.htm\r\n", true, V{}},
        {"climbs out", "[FILES]\r\na.htm\r\n..\\x.htm\r\n\r\n", false, V{"a.htm", "..\\x.htm"}},
        {"lower case header", "[files]\r\na.htm\r\n", false, V{}},
        {"header with a blank", "[FILES] \r\na.htm\r\n", false, V{}},
        {"no header", "[OPTIONS]\r\nTitle=x\r\n", false, V{}},
        {"header is the last line", "[OPTIONS]\r\n[FILES]\r\n", false, V{}}};
    for (const auto& c : cases) {
        page("p.hhp", c.content);
        V list;
        EXPECT_EQ(modProject::ReadProjectFiles(folder() + "p.hhp", list), c.result) << c.label;
        EXPECT_EQ(list, c.list) << c.label;
    }
    V list;
    EXPECT_FALSE(modProject::ReadProjectFiles(folder() + "missing.hhp", list));
}

TEST_F(ProjectTest, OptionsAreCutByCountAndAnUnreadableProjectFails) {
    page("p.hhp", "[OPTIONS]\r\nContents file=one.hhc\r\nContents file = two.hhc\r\n"
                  "Compiled file=out.chm\r\nIndex file= keys.hhk\r\nContents file=late.hhc\r\n"
                  "[FILES]\r\nIndex.htm\r\nContents.htm\r\n");
    modProject::ProjectInfo info{"x", "old", "old", "old"};
    modProject::ReadProjectOptions(folder() + "p.hhp", info);
    EXPECT_EQ(info.ContentsFile, "= two.hhc");
    EXPECT_EQ(info.IndexFile, " keys.hhk");
    EXPECT_EQ(info.CompiledFile, "out.chm");
    EXPECT_EQ(info.ProjectFile, "x");
    EXPECT_THROW(modProject::ReadProjectOptions(folder() + "missing.hhp", info), host::HostError);
    page("empty.hhp", "");
    EXPECT_THROW(modProject::ReadProjectOptions(folder() + "empty.hhp", info), host::HostError);
}

TEST_F(ProjectTest, CompiledFileIsTakenAfreshForEveryProject) {
    modProject::ProjectInfo info;
    // After both other names: still read. And a page named like an option is no option.
    page("a.hhp", "Contents file=a.hhc\r\nIndex file=a.hhk\r\nCompiled file=a.chm");
    modProject::ReadProjectOptions(folder() + "a.hhp", info);
    EXPECT_EQ(info.CompiledFile, "a.chm");
    page("Manual.v2.hhp", "[OPTIONS]\r\nIndex.htm\r\n[FILES]\r\nIndex.htm\r\n");
    modProject::ReadProjectOptions(folder() + "Manual.v2.hhp", info);
    EXPECT_EQ(info.ContentsFile, "");
    EXPECT_EQ(info.IndexFile, "");
    EXPECT_EQ(info.CompiledFile, "Manual.v2.chm");
    // The compiled file is an option only before the first section and in [OPTIONS], however
    // that header is spelled; a page or a window line is never taken for it.
    for (const char* text :
         {"Compiled file=x.chm\r\n[FILES]\r\nCompiledHelp_FAQ.htm\r\n",
          "[FILES]\r\na.htm\r\n\r\n [Options] \r\nCompiled file=x.chm\r\n",
          "[OPTIONS]\r\nCompiled file=x.chm\r\n[WINDOWS]\r\nCompiled file=y.chm\r\n"}) {
        page("p.hhp", text);
        modProject::ReadProjectOptions(folder() + "p.hhp", info);
        EXPECT_EQ(info.CompiledFile, "x.chm") << text;
    }
}

TEST_F(ProjectTest, PageTitles) {
    const struct {
        const char* content;
        const char* expected; // nullptr: the file name
    } cases[] = {{"<html><head><title>Hello</title></head>", "Hello"},
                 {"<HTML><HEAD><TITLE>Hello</TITLE></HEAD>", "Hello"},
                 {"<title>  Hello  </title>", "  Hello  "},
                 {"<head>\r\n<title>\r\nHello</title>\r\n", "Hello"},
                 {"<title>\nHello\nmore\n", "Hello"},
                 {"<title>\r\n\r\nHello</title>\r\n", nullptr},
                 {"<title>Hello\r\n</title>\r\n", "Hello"},
                 {"<title></title>", nullptr},
                 {"<title>A</title><title>B</title>", "A</title><title>B"},
                 {"<html><body>text</body></html>", nullptr},
                 {"<title>First</title>\n<title>Second</title>", "First"},
                 {"<title lang=en>X</title>\n<title>Y</title>", "Y"},
                 {"<title>\xb0\xef\xd6\xfa</title>", "\xb0\xef\xd6\xfa"},
                 // Outcomes the plain rule leaves open: both fall back to the file name.
                 {"</title>x<title>", nullptr},
                 {"<head><title>", nullptr}};
    for (const auto& c : cases) {
        page("Page.htm", c.content);
        EXPECT_EQ(modProject::PageTitle(folder() + "Page.htm"),
                  c.expected ? c.expected : "Page.htm")
            << c.content;
    }
    EXPECT_TRUE(m_boxes.requests.empty());
    // The file name comes as stored on disk; a missing page is reported and gives nothing.
    page("Index.htm", "no title here");
    EXPECT_EQ(modProject::PageTitle(folder() + "index.htm"), "Index.htm");
    page("gone.html", "<title>Not this one</title>"); // a longer extension is another page
    const std::string path = folder() + "gone.htm";
    EXPECT_EQ(modProject::PageTitle(path), "");
    EXPECT_EQ(m_boxes.texts(), std::vector<std::string>{path + "  文件不存在！！！"});
}

} // namespace
