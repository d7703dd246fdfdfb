#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/path_style.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() /
            ("quorlin-fs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void touch(const std::string& name, const std::string& content = "x") {
        fs::create_directories((m_root / name).parent_path());
        std::ofstream(m_root / name, std::ios::binary) << content;
    }
    std::string path(const std::string& name = {}) const { return (m_root / name).string(); }
    fs::path m_root;
};

TEST(MatchesPattern, WildcardsIgnoreCaseAndThreeLetterExtensionsReachFurther) {
    EXPECT_TRUE(host::matchesPattern("a.htm", "*.htm"));
    EXPECT_TRUE(host::matchesPattern("A.HTM", "*.htm"));
    EXPECT_TRUE(host::matchesPattern("page.html", "*.htm"));
    EXPECT_TRUE(host::matchesPattern("index.html", "index.htm*"));
    EXPECT_TRUE(host::matchesPattern("Index.HTM", "index.htm*"));
    EXPECT_TRUE(host::matchesPattern("a1.txt", "a?.txt"));
    EXPECT_FALSE(host::matchesPattern("a.ht", "*.htm"));
    EXPECT_FALSE(host::matchesPattern("a.xhtm", "*.htm"));
    EXPECT_FALSE(host::matchesPattern("a12.txt", "a?.txt"));
    EXPECT_FALSE(host::matchesPattern("myindex.htm", "index.htm*"));
    EXPECT_FALSE(host::matchesPattern("page.html", "page.htm")); // only a pattern reaches further
}

TEST_F(FileSystemTest, ListsNormalPagesInCaseInsensitiveOrder) {
    touch("b.htm");
    touch("A.html");
    touch("c.HTM");
    touch(".hidden.htm");
    touch("notes.txt");
    fs::create_directories(m_root / "folder.htm");
    const auto& files = host::fileSystem();
    (void)files;
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
    touch("Index.htm");
    touch("index.html");
    auto& files = host::fileSystem();
    EXPECT_EQ(files.findFirst(path("INDEX.HTM")), "Index.htm");
    EXPECT_EQ(files.findFirst(path("index.html")), "index.html");
    EXPECT_EQ(files.findFirst(path("index.htm*")), "Index.htm");
    EXPECT_EQ(files.findFirst(path("gone.htm")), std::nullopt);
    touch(".secret.htm");
    EXPECT_EQ(files.findFirst(path(".secret.htm")), std::nullopt);
}

TEST_F(FileSystemTest, NamesWrittenOnWindowsReachFilesInSubFolders) {
    touch("Sub/Page.htm", "hello");
    const std::string name = path() + "/sub\\page.htm";
    EXPECT_EQ(host::fileSystem().findFirst(name), "Page.htm");
    auto reader = host::fileSystem().openTextFile(name);
    EXPECT_EQ(reader.readLine(), "hello");
}

TEST_F(FileSystemTest, TextFilesAreRecreatedWholeWithCrLf) {
    touch("out.txt", "old content that is longer");
    auto writer = host::fileSystem().createTextFile(path("out.txt"));
    writer->writeLine("one");
    writer->writeLine("");
    writer->close();
    std::ifstream in(m_root / "out.txt", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "one\r\n\r\n");
    EXPECT_THROW(host::fileSystem().createTextFile(path("no/such/folder/x.txt")), host::HostError);
    EXPECT_THROW(host::fileSystem().openTextFile(path("missing.txt")), host::HostError);
}

TEST_F(FileSystemTest, CopyReplacesButNotAReadOnlyDestination) {
    touch("from.txt", "new");
    touch("to.txt", "old");
    auto& files = host::fileSystem();
    EXPECT_TRUE(files.copyFile(path("from.txt"), path("to.txt")));
    fs::permissions(m_root / "to.txt", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(files.copyFile(path("from.txt"), path("to.txt")));
    EXPECT_FALSE(files.copyFile(path("missing.txt"), path("x.txt")));
    EXPECT_TRUE(files.deleteFile(path("from.txt")));
    EXPECT_FALSE(files.deleteFile(path("from.txt")));
}

TEST_F(FileSystemTest, CurrentFolderFollowsTheCaller) {
    auto& files = host::fileSystem();
    const std::string before = files.currentFolder();
    EXPECT_TRUE(files.setCurrentFolder(path()));
    EXPECT_EQ(fs::canonical(files.currentFolder()), fs::canonical(m_root));
    EXPECT_FALSE(files.setCurrentFolder(path("missing")));
    files.setCurrentFolder(before);
}

TEST(Drives, TheRootIsAlwaysOffered) {
    const auto drives = host::fileSystem().drives();
    ASSERT_FALSE(drives.empty());
    for (const auto& d : drives) {
        EXPECT_EQ(d.back(), host::kSeparator);
        EXPECT_EQ(d.rfind("/proc", 0), std::string::npos);
    }
}

} // namespace
