#include "platform/host_error.h"
#include "test_support.h"

namespace {

using V = std::vector<std::string>;

// The entries of a written sitemap, read back as "caption|page" from its value attributes,
// each entry closed by its </OBJECT> line with the given indent.
V entriesOf(const std::string& sitemap, const std::string& indent) {
    V entries;
    const std::string close = "\">\r\n" + indent + "</OBJECT>\r\n";
    for (std::size_t end = sitemap.find(close); end != std::string::npos;
         end = sitemap.find(close, end + 1)) {
        const auto page = sitemap.rfind("value=\"", end) + 7;
        const auto caption = sitemap.rfind("value=\"", page - 8) + 7;
        entries.push_back(sitemap.substr(caption, sitemap.find("\">", caption) - caption) + "|" +
                          sitemap.substr(page, end - page));
    }
    return entries;
}

const std::string kEnd = "</UL>\r\n</BODY></HTML>\r\n";

TEST_F(ProjectTest, ProjectFileCarriesTitleStartPageAndPagesAsListed) {
    std::string dir = folder();
    dir.pop_back(); // given without its trailing separator
    std::string title;
    ASSERT_TRUE(modProject::WriteProject(dir, {"b.htm", "chm_about.htm", "index.html"}, title,
                                         "index.html"));
    EXPECT_EQ(dir, folder());
    EXPECT_EQ(title, "CHM 文件@CHMQuorlin@ quorlin@example.com");
    EXPECT_EQ(readPage("chm_about.htm"), m_temp.read("app/chm_dll1.dll"));
    const std::string hhp = readPage("chm_hhp.hhp");
    EXPECT_NE(hhp.find("\r\nmain=\"" + title +
                       "\",\"chm_hhp.hhc\",\"chm_hhp.hhk\",\"\","
                       "\"index.html\",,,"),
              std::string::npos);
    EXPECT_TRUE(hhp.ends_with(
        "\r\n[FILES]\r\nb.htm\r\nchm_about.htm\r\nindex.html\r\n\r\n[INFOTYPES]\r\n"));

    title = "My Help"; // kept, and written over a longer project
    ASSERT_TRUE(modProject::WriteProject(dir, {}, title, ""));
    EXPECT_TRUE(readPage("chm_hhp.hhp").ends_with("\r\n[FILES]\r\n\r\n[INFOTYPES]\r\n"));
    EXPECT_NE(readPage("chm_hhp.hhp").find("main=\"My Help\",\"chm_hhp.hhc\""), std::string::npos);
}

TEST_F(ProjectTest, ContentsPutTheStartPageFirstAndLeaveOutTheAboutAndMissingPages) {
    page("Index.htm", "<title>Home</title>"); // the list's index.htm differs in case: twice
    page("a.htm", "<TITLE>Alpha</TITLE>");
    page("b.htm", "no title");
    page("sub/c.htm", "<title>Sub page</title>");
    std::string name = "toc.hhc";
    modProject::WriteContents(name,
                              {"a.htm", "b.htm", "chm_about.htm", "index.htm", "Index.htm",
                               "sub\\c.htm", "missing.htm", ""},
                              folder());
    const std::string toc = readPage("toc.hhc");
    EXPECT_EQ(entriesOf(toc, std::string(12, ' ')),
              (V{"Home|Index.htm", "Alpha|a.htm", "b.htm|b.htm", "Home|index.htm",
                 "Sub page|sub\\c.htm"}));
    EXPECT_TRUE(toc.ends_with(kEnd));
    EXPECT_NE(toc.find("</OBJECT>\r\n          </UL>\r\n"), std::string::npos);
    EXPECT_EQ(m_boxes.texts(), V{folder() + "missing.htm  文件不存在！！！"});
}

TEST_F(ProjectTest, IndexEntersEveryPageAndClimbsInWindowsSpelling) {
    page("a.htm", "<title>A</title>");
    page("index.html", "<title>\r\nStart\r\n");
    const std::string sub = folder() + "sub/";
    fs::create_directories(sub);
    std::string name = "..\\keys.hhk";
    modProject::WriteIndex(name, {"..\\a.htm", "..\\gone.htm", "..\\index.html", "..\\a.htm", ""},
                           sub);
    EXPECT_EQ(name, "keys.hhk");
    const std::string keys = readPage("keys.hhk");
    EXPECT_EQ(entriesOf(keys, std::string(5, ' ')),
              (V{"A|..\\a.htm", "|..\\gone.htm", "Start|..\\index.html", "A|..\\a.htm"}));
    EXPECT_TRUE(keys.ends_with("     </OBJECT>\r\n" + kEnd));
    EXPECT_EQ(m_boxes.texts().size(), 1u);
}

TEST_F(ProjectTest, AFailureOnTheWayIsAnErrorNamingTheFileAndLeavesOutputsAlone) {
    page("toc.hhc", "keep me");
    const fs::path tpl = m_temp / "app/chm_dll0.dll";
    fs::resize_file(tpl, m_temp.read("app/chm_dll0.dll").find("[WINDOWS]")); // 11 lines
    std::string toc = "toc.hhc";
    std::string keys = "keys.hhk";
    std::string dir = folder();
    std::string title;
    EXPECT_THROW(modProject::WriteContents(toc, {"a.htm"}, folder()), host::HostError);
    EXPECT_THROW(modProject::WriteIndex(keys, {"a.htm"}, folder()), host::HostError);
    EXPECT_THROW(modProject::WriteProject(dir, {}, title, ""), host::HostError);
    EXPECT_EQ(readPage("toc.hhc"), "keep me");
    EXPECT_FALSE(fs::exists(m_temp / "pages/keys.hhk"));
    EXPECT_FALSE(fs::exists(m_temp / "pages/chm_hhp.hhp"));

    fs::remove(tpl);
    try {
        modProject::WriteContents(toc, {}, folder());
        FAIL() << "no error";
    } catch (const host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find("chm_dll0.dll"), std::string::npos);
    }
    m_files.failCreate = {"chm_hhp.hhp"};
    m_temp.programFolder();
    EXPECT_THROW(modProject::WriteProject(dir, {}, title, ""), host::HostError);
    // A failed copy of the About page stops before the project too, with a message.
    page("chm_hhp.hhp", "old project");
    m_files.failCopy = {"chm_about.htm"};
    EXPECT_FALSE(modProject::WriteProject(dir, {"a.htm"}, title, "a.htm"));
    EXPECT_EQ(m_boxes.texts(), V{"工程文件创建失败！！！"});
    EXPECT_EQ(readPage("chm_hhp.hhp"), "old project");
}

} // namespace
