// The build and the decompile run as plain routines: what they write, ask and start, in that
// order, and what a failure leaves behind.
#include "decompile.h"
#include "platform/host_error.h"
#include "project_build.h"
#include "test_support.h"

#include <chrono>

namespace {

using host::MessageAnswer;
using host::testing::writesCompiledFile;
using modProject::BuildProject;
using modProject::GenerateProject;

class BuildTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        page("index.htm", "<title>首页</title>");
        page("a.htm", "<title>甲</title>");
        m_tools.behaviour = writesCompiledFile("chm_hhp.chm");
    }
    // HTML mode: the project generated from the page folder, then the rest of the build.
    bool buildPages(bool compile) {
        const auto entries = GenerateProject(folder(), {"a.htm", "index.htm"}, "T");
        return entries && build(*entries, false, compile);
    }
    bool build(const Strings& pages, bool ask, bool compile) {
        return BuildProject(pages, {ask, compile, "CHM Quorlin V1.1", [this](const std::string& s) {
                                        m_journal.push_back("status " + s);
                                    }});
    }
};

TEST_F(ProjectTest, TheStartPageIsTheIndexPageElseTheFirstPageButNotTheAboutPage) {
    const struct {
        Strings pages;
        std::string start;
    } cases[] = {{{"a.htm", "index.html"}, "index.html"},
                 {{"b.htm", "c.htm"}, "b.htm"},
                 {{"chm_about.htm", "b.htm"}, "b.htm"},
                 {{"chm_about.htm"}, ""}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string sub = std::to_string(++n) + "/";
        for (const auto& name : c.pages) {
            page(sub + name, "<title>t</title>");
        }
        const auto entries = GenerateProject(folder() + sub, c.pages, "T");
        EXPECT_EQ(entries, c.pages);
        EXPECT_EQ(modProject::CurrentProject.ProjectFile, folder() + sub + "chm_hhp.hhp");
        EXPECT_NE(readPage(sub + "chm_hhp.hhp").find("\"\",\"" + c.start + "\","),
                  std::string::npos)
            << c.start;
    }
}

TEST_F(BuildTest, ACompileAnsweredYesDeletesTheIntermediateFilesAfterTheViewerStarts) {
    m_boxes.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(buildPages(true));
    EXPECT_EQ(journal(),
              (Strings{"copy app/chm_dll1.dll -> pages/chm_about.htm", "create pages/chm_hhp.hhp",
                       "copy app/chm_dll1.dll -> pages/chm_about.htm", "status 正在编写目录...",
                       "create pages/chm_hhp.hhc", "create pages/chm_hhp.hhk",
                       "status 正在编译工程...", "ask 编译完工程后是否删除相关文件？", "cd pages/",
                       "run app/hhc.exe chm_hhp.hhp", "start app/hh.exe chm_hhp.chm",
                       "delete pages/chm_hhp.hhp", "delete pages/chm_hhp.hhc",
                       "delete pages/chm_hhp.hhk", "delete pages/chm_about.htm"}));
    EXPECT_EQ(m_tools.calls[0].command.window, host::WindowKind::Hidden);
    EXPECT_EQ(m_tools.calls[1].command.window, host::WindowKind::NormalFocus);
    EXPECT_EQ(m_boxes.requests[0].icon, host::MessageIcon::Question);
    EXPECT_EQ(modProject::CurrentProject.ProjectFile + modProject::CurrentProject.CompiledFile, "");

    EXPECT_FALSE(buildPages(true)); // a second compile, answered No, deletes nothing
    EXPECT_EQ(journal().back(), "start app/hh.exe chm_hhp.chm");
}

TEST_F(BuildTest, AnOpenedProjectIsRewrittenOnYesAndItsFilesDeletedWhereTheyWereWritten) {
    m_temp.write("proj/my.hhp", "[OPTIONS]\r\nCompiled file=my.chm\r\nContents file=..\\toc.hhc"
                                "\r\nIndex file=idx.hhk\r\n\r\n[FILES]\r\np.htm\r\n");
    m_temp.write("proj/p.htm", "<title>页</title>");
    m_temp.write("proj/toc.hhc", "the user's own file"); // the name left after "..\"
    modProject::CurrentProject.ProjectFile = m_temp.str("proj/my.hhp");
    EXPECT_FALSE(build({"p.htm"}, true, false)); // answered No
    EXPECT_EQ(journal(), (Strings{"copy app/chm_dll1.dll -> proj/chm_about.htm",
                                  "ask 你是否真的想重新编写目录及索引?"}));

    m_tools.behaviour = writesCompiledFile("my.chm");
    m_boxes.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    EXPECT_TRUE(build({"p.htm"}, true, true));
    EXPECT_EQ(m_tools.calls.at(1).command.arguments, "my.chm");
    for (const char* gone : {"proj/my.hhp", "toc.hhc", "proj/idx.hhk", "proj/chm_about.htm"}) {
        EXPECT_FALSE(fs::exists(m_temp / gone)) << gone;
    }
    EXPECT_EQ(m_temp.read("proj/toc.hhc"), "the user's own file");
    EXPECT_TRUE(fs::exists(m_temp / "proj/my.chm") && fs::exists(m_temp / "proj/p.htm"));
}

// A compile counts by a new compiled file only: on a missing or an unchanged one the user sees
// what the compiler said, no viewer starts and nothing is deleted.
TEST_F(BuildTest, ACompileThatLeavesNoNewCompiledFileFailsAndDeletesNothing) {
    m_tools.behaviour = [](const host::ToolCommand&) {
        return host::ToolOutcome{true, 0, "HHC5003: Error: 找不到页面 x.htm"};
    };
    for (const bool stale : {false, true}) {
        if (stale) {
            page("chm_hhp.chm", "an old compiled file");
        }
        m_tools.calls.clear();
        m_boxes.answers = {MessageAnswer::Yes};
        EXPECT_FALSE(buildPages(true));
        EXPECT_EQ(m_boxes.texts().back(), "工程编译失败：编译程序没有生成 " + folder() +
                                              "chm_hhp.chm。\n\n编译程序的输出：\nHHC5003: "
                                              "Error: 找不到页面 x.htm");
        EXPECT_EQ(m_tools.calls.size(), 1u) << stale;
        EXPECT_TRUE(fs::exists(m_temp / "pages/chm_hhp.hhp")) << stale;
    }
}

class DecompileTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        m_temp.write("out/manual.chm");
        // The working folder joined with the name after "-decompile ", as the real tool writes.
        m_tools.behaviour = [this](const host::ToolCommand& c) {
            host::testing::writeFile(fs::path(c.workingFolder) / m_base / "index.htm", "x");
            return host::ToolOutcome{true, 0, "written"};
        };
    }
    std::string run(const std::string& helpFile, const std::string& outputFolder) {
        return modProject::DecompileHelpFile(m_temp.str(helpFile), m_temp.str(outputFolder));
    }
    std::string failure(const std::string& helpFile, const std::string& outputFolder) {
        try {
            run(helpFile, outputFolder);
        } catch (const host::HostError& e) {
            return e.what();
        }
        return "no error";
    }
    std::string m_base = "manual";
};

TEST_F(DecompileTest, EachRefusalSaysWhatIsWrongAndStartsNothing) {
    const struct {
        const char* helpFile;
        const char* folder;
        std::string message; // its start
    } cases[] = {
        {"out/manual.chm", "nowhere", "输出文件夹不存在"},
        {"out/manual.chm", "out", "无法进入输出文件夹"},
        {"out/other.chm", "out", "找不到CHM文件"},
        {"out/abcd", "out", "CHM文件名太短"},
        {"out/manual.chm", "out", "无法启动 "}, // no decompiler
    };
    m_temp.write("out/abcd");
    m_tools.failToStart = {"hh.exe"};
    for (const auto& c : cases) {
        m_files.failChdir = {c.message == "无法进入输出文件夹" ? m_temp.str("out") : "none"};
        EXPECT_TRUE(failure(c.helpFile, c.folder).starts_with(c.message)) << c.message;
    }
    EXPECT_TRUE(m_tools.calls.empty());
}

TEST_F(DecompileTest, TheTargetIsTheStoredNameLessItsExtension) {
    const struct {
        const char* stored;
        const char* typed;
        const char* folder;
        const char* target;
    } cases[] = {
        {"Manual.CHM", "Manual.CHM", "out", "out/Manual"},
        {"a.b.chm", "a.b.chm", "out", "out/a.b"},
        {"Manual.chm", "MANUAL.CHM", "out", "out/Manual"},            // typed in another case
        {"manual.chm", "manual.chm", "out/", "out/manual"},           // a trailing separator
        {"my help.chm", "my help.chm", "out dir", "out dir/my help"}, // blanks, unquoted
    };
    for (const auto& c : cases) {
        m_base = fs::path(c.target).filename().string();
        m_temp.write(std::string("in/") + c.stored);
        fs::create_directories(m_temp / c.folder);
        EXPECT_EQ(run(std::string("in/") + c.typed, c.folder), m_temp.str(c.target));
        EXPECT_EQ(m_tools.calls.back().command.arguments,
                  "-decompile " + m_base + " " + m_temp.str("in/") + c.typed);
    }
    EXPECT_EQ(m_tools.calls[0].command.program, modProject::AppFolder + "hh.exe");
    EXPECT_EQ(m_tools.calls[0].command.window, host::WindowKind::MinimizedFocus);
}

TEST_F(DecompileTest, RelativeNamesAreTakenFromTheOutputFolderWhichStaysCurrent) {
    fs::current_path(m_temp / "app");
    EXPECT_EQ(modProject::DecompileHelpFile("manual.chm", m_temp.str("out")),
              m_temp.str("out/manual"));
    EXPECT_EQ(m_tools.calls.at(0).command.arguments, "-decompile manual manual.chm");
    EXPECT_EQ(fs::current_path(), m_temp / "out");
    // Once out/ is current, "out" would name out/out: the tool gets the folder spelled out.
    fs::current_path(m_temp.path());
    EXPECT_EQ(modProject::DecompileHelpFile("manual.chm", "out"), m_temp.str("out/manual"));
    EXPECT_EQ(m_tools.calls.at(1).command.workingFolder, m_temp.str("out"));
}

// A run is judged by the files it leaves, whatever the tool returns. Files of an earlier run
// that it left as they were do not count; one it rewrote does, even where the file system's
// coarse times cannot tell the rewrite from the file before it.
TEST_F(DecompileTest, ARunCountsOnlyWhenItWroteAFile) {
    const fs::path old = m_temp / "out/manual/index.htm";
    m_tools.behaviour = [](const host::ToolCommand&) {
        return host::ToolOutcome{true, 1, "cannot read manual.chm: bad header"};
    };
    EXPECT_TRUE(
        failure("out/manual.chm", "out").ends_with("\n\ncannot read manual.chm: bad header"));
    m_temp.write("out/manual/index.htm", "old");
    const auto daysAgo = fs::file_time_type::clock::now() - std::chrono::hours(72);
    fs::last_write_time(old, daysAgo);
    EXPECT_TRUE(failure("out/manual.chm", "out").starts_with("反编译失败："));

    m_tools.behaviour = [&](const host::ToolCommand&) {
        host::testing::writeFile(old, "rewritten"); // another size, the old time
        fs::last_write_time(old, daysAgo);
        return host::ToolOutcome{true, 0, {}};
    };
    EXPECT_EQ(run("out/manual.chm", "out"), m_temp.str("out/manual"));
    m_temp.write("out/manual/index.htm", "rewritten");
    const auto stamp = fs::last_write_time(old);
    m_tools.behaviour = [&](const host::ToolCommand&) {
        host::testing::writeFile(old, "rewritten"); // the same name, size and time
        fs::last_write_time(old, stamp);
        return host::ToolOutcome{true, 0, {}};
    };
    EXPECT_EQ(run("out/manual.chm", "out"), m_temp.str("out/manual"));
}

} // namespace
