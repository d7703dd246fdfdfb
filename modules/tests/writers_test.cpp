#include "faulty_file_system.h"
#include "platform/host_error.h"
#include "test_support.h"

namespace {

const std::string kClose12 = "            </OBJECT>\r\n";
const std::string kClose5 = "     </OBJECT>\r\n";

class WritersTest : public ProjectTest {
protected:
    std::string contentsEntry(const std::string& caption, const std::string& name) const {
        return templateLine(33) + "\r\n" + templateLine(34) + caption + "\">\r\n" +
               templateLine(35) + name + "\">\r\n" + kClose12;
    }
    std::string indexEntry(const std::string& caption, const std::string& name) const {
        return templateLine(50) + "\r\n" + templateLine(51) + caption + "\">\r\n" +
               templateLine(52) + name + "\">\r\n" + kClose5;
    }
    std::string contentsFile(const std::string& entries) const {
        return templateLines(19, 32) + entries + "          </UL>\r\n" + templateLines(36, 40) +
               "</UL>\r\n</BODY></HTML>\r\n";
    }
    std::string indexFile(const std::string& entries) const {
        return templateLines(44, 49) + entries + "</UL>\r\n</BODY></HTML>\r\n";
    }
};

TEST_F(WritersTest, ProjectFileFollowsTheTemplate) {
    std::string dir = folder();
    dir.pop_back(); // given without its trailing separator
    std::string title;
    const std::vector<std::string> pages = {"b.htm", "chm_about.htm", "index.html"};
    ASSERT_TRUE(modProject::WriteProject(dir, pages, title, "index.html"));
    EXPECT_EQ(dir, folder());
    EXPECT_EQ(title, "CHM 文件@CHMQuorlin@ quorlin@example.com");
    EXPECT_EQ(readPage("chm_about.htm"), read(m_root / "app" / "chm_dll1.dll"));
    const std::string expected = templateLines(2, 12) + templateLine(13) + title +
                                 templateLine(14) + "index.html" + templateLine(15) +
                                 "\r\n[FILES]\r\nb.htm\r\nchm_about.htm\r\nindex.html\r\n\r\n"
                                 "[INFOTYPES]\r\n";
    EXPECT_EQ(readPage("chm_hhp.hhp"), expected);
    // The generated window line carries the title and the start page.
    EXPECT_NE(expected.find("main=\"CHM 文件@CHMQuorlin@ quorlin@example.com\""),
              std::string::npos);
}

TEST_F(WritersTest, ProjectWithAnEmptyListAndAGivenTitle) {
    std::string dir = folder();
    std::string title = "My Help";
    ASSERT_TRUE(modProject::WriteProject(dir, {}, title, ""));
    EXPECT_EQ(title, "My Help");
    EXPECT_EQ(readPage("chm_hhp.hhp"), templateLines(2, 12) + templateLine(13) + "My Help" +
                                           templateLine(14) + templateLine(15) +
                                           "\r\n[FILES]\r\n\r\n[INFOTYPES]\r\n");
}

TEST_F(WritersTest, FailedAboutCopyStopsBeforeTheProject) {
    page("chm_hhp.hhp", "old project");
    host::testing::FaultyFileSystem faulty;
    faulty.failCopy = {"chm_about.htm"};
    host::ScopedFileSystem scope(faulty);
    std::string dir = folder();
    std::string title = "t";
    EXPECT_FALSE(modProject::WriteProject(dir, {"a.htm"}, title, "a.htm"));
    EXPECT_EQ(m_boxes.texts(), std::vector<std::string>{"工程文件创建失败！！！"});
    EXPECT_EQ(readPage("chm_hhp.hhp"), "old project");
}

TEST_F(WritersTest, ContentsPutTheStartPageFirstAndLeaveOutTheAboutPage) {
    page("index.htm", "<title>Home</title>");
    page("a.htm", "<TITLE>Alpha</TITLE>");
    page("b.htm", "no title");
    page("sub/c.htm", "<title>Sub page</title>");
    std::string name = "toc.hhc";
    modProject::WriteContents(
        name, {"a.htm", "b.htm", "chm_about.htm", "index.htm", "sub\\c.htm", "missing.htm", ""},
        folder());
    EXPECT_EQ(readPage("toc.hhc"),
              contentsFile(contentsEntry("Home", "index.htm") + contentsEntry("Alpha", "a.htm") +
                           contentsEntry("b.htm", "b.htm") +
                           contentsEntry("Sub page", "sub\\c.htm")));
    EXPECT_EQ(m_boxes.texts(),
              std::vector<std::string>{folder() + "missing.htm  文件不存在！！！"});
}

TEST_F(WritersTest, ContentsCompareTheStartPageWithCase) {
    // The page is stored as Index.htm; the list spells it index.htm, so it appears twice.
    page("Index.htm", "<title>Home</title>");
    std::string name = "toc.hhc";
    modProject::WriteContents(name, {"index.htm"}, folder());
    EXPECT_EQ(readPage("toc.hhc"), contentsFile(contentsEntry("Home", "Index.htm") +
                                                contentsEntry("Home", "index.htm")));
}

TEST_F(WritersTest, NamesWrittenOnWindowsClimbToTheRightPlace) {
    // A project folder below the pages, with names that climb in Windows spelling.
    page("a.htm", "<title>A</title>");
    const std::string sub = folder() + "sub/";
    fs::create_directories(sub);
    std::string name = "..\\keys.hhk";
    modProject::WriteIndex(name, {"..\\a.htm"}, sub);
    EXPECT_EQ(readPage("keys.hhk"), indexFile(indexEntry("A", "..\\a.htm")));
    EXPECT_TRUE(m_boxes.requests.empty());
}

TEST_F(WritersTest, IndexKeepsMissingPagesWithAnEmptyCaption) {
    page("a.htm", "<title>A</title>");
    page("index.html", "<title>\r\nStart\r\n");
    std::string name = "keys.hhk";
    modProject::WriteIndex(name, {"a.htm", "gone.htm", "index.html", "a.htm", ""}, folder());
    EXPECT_EQ(readPage("keys.hhk"),
              indexFile(indexEntry("A", "a.htm") + indexEntry("", "gone.htm") +
                        indexEntry("Start", "index.html") + indexEntry("A", "a.htm")));
    EXPECT_EQ(m_boxes.texts().size(), 1u);
}

TEST_F(WritersTest, MissingOrShortTemplateNamesTheFileAndLeavesOutputsAlone) {
    page("toc.hhc", "keep me");
    page("keys.hhk", "keep me too");
    const fs::path tpl = m_root / "app" / "chm_dll0.dll";
    const std::string full = read(tpl);
    // Short: the first 20 lines only.
    std::size_t pos = 0;
    for (int i = 0; i < 20; ++i) {
        pos = full.find("\r\n", pos) + 2;
    }
    std::ofstream(tpl, std::ios::binary | std::ios::trunc) << full.substr(0, pos);
    std::string toc = "toc.hhc";
    std::string keys = "keys.hhk";
    try {
        modProject::WriteContents(toc, {"a.htm"}, folder());
        FAIL() << "no error";
    } catch (const host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find("chm_dll0.dll"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("20"), std::string::npos);
    }
    EXPECT_THROW(modProject::WriteIndex(keys, {"a.htm"}, folder()), host::HostError);
    EXPECT_EQ(readPage("toc.hhc"), "keep me");
    EXPECT_EQ(readPage("keys.hhk"), "keep me too");

    fs::remove(tpl);
    std::string dir = folder();
    std::string title = "t";
    try {
        modProject::WriteProject(dir, {"a.htm"}, title, "a.htm");
        FAIL() << "no error";
    } catch (const host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find("chm_dll0.dll"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(m_root / "pages" / "chm_hhp.hhp"));
}

TEST_F(WritersTest, OutputThatCannotBeCreatedRaisesAnErrorNamingIt) {
    host::testing::FaultyFileSystem faulty;
    faulty.failCreate = {"toc.hhc", "chm_hhp.hhp"};
    host::ScopedFileSystem scope(faulty);
    std::string toc = "toc.hhc";
    try {
        modProject::WriteContents(toc, {}, folder());
        FAIL() << "no error";
    } catch (const host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find("toc.hhc"), std::string::npos);
    }
    std::string dir = folder();
    std::string title;
    EXPECT_THROW(modProject::WriteProject(dir, {}, title, ""), host::HostError);
}

} // namespace
