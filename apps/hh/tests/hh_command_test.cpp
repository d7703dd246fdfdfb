// hh.exe's argument line, and the decompiler run as the program runs it: one argument text,
// a relative folder, blanks in names.
#include "hh_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/wait.h> // POSIX only: WIFEXITED decodes std::system's status

namespace fs = std::filesystem;

namespace {

TEST(HhCommand, ResolvesBlanksByFindingTheExistingFile) {
    std::set<std::string> files = {"D:/My Docs/the manual.chm", "help.chm"};
    auto exists = [&](const std::string& f) { return files.count(f) > 0; };
    struct Case {
        const char* line;
        hh::Command::Kind kind;
        const char* folder;
        const char* file;
        const char* page;
    };
    const Case cases[] = {
        {"help.chm", hh::Command::Kind::View, "", "help.chm", ""},
        {"D:/My Docs/the manual.chm", hh::Command::Kind::View, "", "D:/My Docs/the manual.chm", ""},
        {"ms-its:help.chm::/sub/page.htm", hh::Command::Kind::View, "", "help.chm", "sub/page.htm"},
        {"mk:@MSITStore:help.chm::\\a.htm", hh::Command::Kind::View, "", "help.chm", "a.htm"},
        {"-decompile out dir help.chm", hh::Command::Kind::Decompile, "out dir", "help.chm", ""},
        {"-decompile out missing.chm", hh::Command::Kind::Usage, "", "out missing.chm", ""},
        {"-decompile", hh::Command::Kind::Usage, "", "", ""},
        {"", hh::Command::Kind::View, "", "", ""}, // an empty viewer, as from the desktop's menu
        {"--help", hh::Command::Kind::Help, "", "", ""},
    };
    for (const Case& c : cases) {
        hh::Command cmd = hh::parseCommandLine(c.line, exists);
        EXPECT_EQ(cmd.kind, c.kind) << c.line;
        EXPECT_EQ(cmd.folder, c.folder) << c.line;
        EXPECT_EQ(cmd.file, c.file) << c.line;
        EXPECT_EQ(cmd.page, c.page) << c.line;
    }
}

class HhProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const char* app = std::getenv("QUORLIN_APP_DIR");
        ASSERT_NE(app, nullptr);
        m_hh = fs::path(app) / "hh.exe";
        ASSERT_TRUE(fs::exists(m_hh));
        m_dir =
            fs::temp_directory_path() / ("quorlin-hh-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_dir / "in dir");
        fs::copy_file(QUORLIN_HH_FIXTURE, m_dir / "in dir" / "my sample.chm");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs hh.exe in the scratch folder with `args` as one argument, as the program does;
    // `env` goes before the command (an `env -u ...` to run without a desktop).
    int run(const std::string& args, const std::string& env = "") {
        std::string cmd = "cd '" + m_dir.string() + "' && " + env + " '" + m_hh.string() + "' '" +
                          args + "' >out.txt 2>err.txt";
        int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    std::string read(const char* name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path m_hh, m_dir;
};

TEST_F(HhProgram, DecompilesIntoARelativeFolderWithBlanks) {
    EXPECT_EQ(run("-decompile my sample in dir/my sample.chm"), 0);
    EXPECT_TRUE(fs::exists(m_dir / "my sample" / "sub" / "page2.htm"));
    EXPECT_TRUE(fs::exists(m_dir / "my sample" / "my sample.hhp"));
    EXPECT_FALSE(fs::exists(m_dir / "my sample" / "#SYSTEM"));
    const std::string out = read("out.txt");
    EXPECT_EQ(out.rfind("hh.exe: 反编译完成：in dir/my sample.chm 中的 ", 0), 0u) << out;
    EXPECT_NE(out.find("）写入 my sample，工程文件 "), std::string::npos) << out;
    EXPECT_EQ(out.find("跳过"), std::string::npos) << out;
}

TEST_F(HhProgram, FailsWithAReasonOnFilesItCannotRead) {
    std::ofstream(m_dir / "bad.chm") << "not a help file at all";
    EXPECT_EQ(run("-decompile out bad.chm"), 1);
    EXPECT_EQ(read("err.txt"), "hh.exe: 无法读取帮助文件 bad.chm：它不是 CHM 文件\n");
    EXPECT_EQ(run("-decompile out nothere.chm"), 1);
    EXPECT_EQ(read("err.txt"), "hh.exe: 找不到帮助文件：out nothere.chm\n");
    EXPECT_EQ(run("-decompile"), 1);
    EXPECT_EQ(read("err.txt"), "hh.exe: 用法：hh.exe -decompile 文件夹 帮助文件.chm\n");
    // A plain file where the output folder should be.
    std::ofstream(m_dir / "taken") << "x";
    EXPECT_EQ(run("-decompile taken in dir/my sample.chm"), 1);
    // Said once: the output folder is the fault, not also a warning before it.
    EXPECT_EQ(read("err.txt"),
              "hh.exe: 无法反编译 in dir/my sample.chm：无法创建输出文件夹 taken\n");
}

TEST_F(HhProgram, WithoutADesktopSaysSoInsteadOfAborting) {
    const std::string noDesktop = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
    EXPECT_EQ(run("in dir/my sample.chm", noDesktop), 1);
    EXPECT_EQ(read("err.txt"),
              "hh.exe：需要图形桌面才能运行（未找到 DISPLAY 或 WAYLAND_DISPLAY）。\n");
    // Help and decompiling need none.
    EXPECT_EQ(run("--help", noDesktop), 0);
    EXPECT_NE(read("out.txt").find("hh.exe -decompile 文件夹 帮助文件.chm"), std::string::npos);
    EXPECT_EQ(run("-decompile out in dir/my sample.chm", noDesktop), 0);
}

} // namespace
