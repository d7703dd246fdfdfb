#include "test_support.h"

namespace {

struct TitleCase {
    const char* label;
    const char* content;
    const char* expected; // nullptr: the file name
};

class PageTitleTest : public ProjectTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(PageTitleTest, Title) {
    const auto& c = GetParam();
    page("Page.htm", c.content);
    const std::string title = modProject::PageTitle(folder() + "Page.htm");
    EXPECT_EQ(title, c.expected ? c.expected : "Page.htm") << c.label;
    EXPECT_TRUE(m_boxes.requests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageTitleTest,
    ::testing::Values(
        TitleCase{"one line", "<html><head><title>Hello</title></head>", "Hello"},
        TitleCase{"upper case", "<HTML><HEAD><TITLE>Hello</TITLE></HEAD>", "Hello"},
        TitleCase{"spaces kept", "<title>  Hello  </title>", "  Hello  "},
        TitleCase{"next line closed", "<head>\r\n<title>\r\nHello</title>\r\n", "Hello"},
        TitleCase{"next line open", "<title>\nHello\nmore\n", "Hello"},
        TitleCase{"next line empty", "<title>\r\n\r\nHello</title>\r\n", nullptr},
        TitleCase{"closing tag later", "<title>Hello\r\n</title>\r\n", "Hello"},
        TitleCase{"empty title", "<title></title>", nullptr},
        TitleCase{"two titles", "<title>A</title><title>B</title>", "A</title><title>B"},
        TitleCase{"no title", "<html><body>text</body></html>", nullptr},
        TitleCase{"empty page", "", nullptr},
        TitleCase{"only the first title line", "<title>First</title>\n<title>Second</title>",
                  "First"},
        TitleCase{"attributes are no title", "<title lang=en>X</title>\n<title>Y</title>", "Y"},
        TitleCase{"bytes pass through", "<title>\xb0\xef\xd6\xfa</title>", "\xb0\xef\xd6\xfa"},
        // Outcomes the plain rule leaves open: both fall back to the file name.
        TitleCase{"closing before opening", "</title>x<title>", nullptr},
        TitleCase{"opening tag ends the page", "<head><title>", nullptr}),
    LabelName());

TEST_F(ProjectTest, MissingPageIsReportedAndGivesNothing) {
    page("gone.html", "<title>Not this one</title>"); // a longer extension is another page
    const std::string path = folder() + "gone.htm";
    EXPECT_EQ(modProject::PageTitle(path), "");
    EXPECT_EQ(m_boxes.texts(), std::vector<std::string>{path + "  文件不存在！！！"});
}

TEST_F(ProjectTest, FileNameComesAsStoredOnDisk) {
    page("Index.htm", "no title here");
    EXPECT_EQ(modProject::PageTitle(folder() + "index.htm"), "Index.htm");
}

} // namespace
