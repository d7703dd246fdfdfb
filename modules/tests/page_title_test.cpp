#include "test_support.h"

namespace {

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
                 {"", nullptr},
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
