#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/path_style.h"
#include "platform/text_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    std::string path(const std::string& name = {}) const { return m_temp.str(name); }
    host::testing::TempFolder m_temp;
};

TEST(MatchesPattern, WildcardsIgnoreCaseAndThreeLetterExtensionsReachFurther) {
    for (const auto& [name, pattern] : {std::pair{"A.HTM", "*.htm"},
                                        {"page.html", "*.htm"},
                                        {"Index.HTM", "index.htm*"},
                                        {"a1.txt", "a?.txt"}}) {
        EXPECT_TRUE(host::matchesPattern(name, pattern)) << name;
    }
    for (const auto& [name, pattern] : {std::pair{"a.ht", "*.htm"},
                                        {"a.xhtm", "*.htm"},
                                        {"a12.txt", "a?.txt"},
                                        {"myindex.htm", "index.htm*"},
                                        {"page.html", "page.htm"}}) {
        EXPECT_FALSE(host::matchesPattern(name, pattern)) << name; // only a pattern reaches further
    }
}

TEST_F(FileSystemTest, ListsNormalPagesInCaseInsensitiveOrder) {
    m_temp.write("b.htm");
    m_temp.write("A.html");
    m_temp.write("c.HTM");
    m_temp.write(".hidden.htm");
    m_temp.write("notes.txt");
    fs::create_directories(m_temp / "folder.htm");
    EXPECT_EQ(host::fileSystem().listFiles(path(), "*.htm"),
              (std::vector<std::string>{"A.html", "b.htm", "c.HTM"}));
    try {
        host::fileSystem().listFiles(path("missing"), "*.htm");
        ADD_FAILURE() << "a missing folder was listed";
    } catch (const host::HostError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("无法读取文件夹 " + path("missing") +
                                                      "：文件夹不存在（"))
            << e.what();
    }
}

TEST_F(FileSystemTest, FindFirstPrefersTheExactSpellingAndReturnsTheStoredName) {
    m_temp.write("Index.htm");
    m_temp.write("index.html");
    auto& files = host::fileSystem();
    EXPECT_EQ(files.findFirst(path("INDEX.HTM")), "Index.htm");
    EXPECT_EQ(files.findFirst(path("index.html")), "index.html");
    EXPECT_EQ(files.findFirst(path("index.htm*")), "Index.htm");
    EXPECT_EQ(files.findFirst(path("gone.htm")), std::nullopt);
    m_temp.write(".secret.htm");
    EXPECT_EQ(files.findFirst(path(".secret.htm")), std::nullopt);
    // Names written on Windows reach files in sub-folders.
    m_temp.write("Sub/Page.htm", "hello");
    const std::string name = path() + "/sub\\page.htm";
    EXPECT_EQ(files.findFirst(name), "Page.htm");
    EXPECT_EQ(files.openTextFile(name).readLine(), "hello");
}

TEST_F(FileSystemTest, TextFilesAreRecreatedWholeWithCrLfAndCopiesReplace) {
    m_temp.write("out.txt", "old content that is longer");
    auto writer = host::fileSystem().createTextFile(path("out.txt"));
    writer->writeLine("one");
    writer->writeLine("");
    writer->close();
    EXPECT_EQ(m_temp.read("out.txt"), "one\r\n\r\n");
    EXPECT_THROW(host::fileSystem().createTextFile(path("no/such/folder/x.txt")), host::HostError);
    // A copy replaces, but not a read-only destination.
    m_temp.write("from.txt", "new");
    m_temp.write("to.txt", "old");
    auto& files = host::fileSystem();
    EXPECT_TRUE(files.copyFile(path("from.txt"), path("to.txt")));
    fs::permissions(m_temp / "to.txt", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(files.copyFile(path("from.txt"), path("to.txt")));
    EXPECT_FALSE(files.copyFile(path("missing.txt"), path("x.txt")));
    EXPECT_TRUE(files.deleteFile(path("from.txt")));
    EXPECT_FALSE(files.deleteFile(path("from.txt")));
}

TEST_F(FileSystemTest, StampsTellARewriteAndAReplacement) {
    m_temp.write("sub/a.chm", "old");
    auto& files = host::fileSystem();
    const host::FileStamp before = files.stampOf(path("sub/a.chm"));
    EXPECT_TRUE(before.exists);
    EXPECT_EQ(files.stampsBelow(path()),
              (std::map<std::string, host::FileStamp>{{path("sub/a.chm"), before}}));
    m_temp.write("new.chm", "old");
    fs::rename(m_temp / "new.chm", m_temp / "sub/a.chm"); // same size, maybe the same second
    EXPECT_NE(files.stampOf(path("sub/a.chm")), before);
    EXPECT_FALSE(files.stampOf(path("sub")).exists);
    EXPECT_TRUE(files.stampsBelow(path("missing")).empty());
}

std::vector<std::string> linesOf(std::string content) {
    host::TextReader reader(std::move(content));
    std::vector<std::string> lines;
    while (!reader.atEndOfStream()) {
        lines.push_back(reader.readLine());
    }
    return lines;
}

TEST(TextReader, EveryTerminatorEndsOneLineAndTheLastLineCounts) {
    using V = std::vector<std::string>;
    EXPECT_EQ(linesOf(""), V{});
    EXPECT_EQ(linesOf("a"), V{"a"});
    EXPECT_EQ(linesOf("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(linesOf("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(linesOf("\n\n"), (V{"", ""}));
    // Bytes pass through: GBK for "标题" is not touched.
    EXPECT_EQ(linesOf("\xb1\xea\xcc\xe2\r\n"), V{"\xb1\xea\xcc\xe2"});
}

} // namespace
