// The build: each mode and action with scripted answers, checked through one journal of files
// written, questions asked and tools started, with the window's state at each step; and the
// failures of each step, injected through the host layer.
#include "window_fixture.h"

#include <QLineEdit>
#include <QTest>

using fixture::itemsOf;
using fixture::pageWithTitle;

namespace {

const std::string kRewrite = "你是否真的想重新编写目录及索引?";
const std::string kDelete = "编译完工程后是否删除相关文件？";
const std::string kBusy = ",disabled,busy]";

// A fault injected into one step of a compile, and the start of what the user is told.
const std::pair<const char*, const char*> kFaults[] = {
    {"create chm_hhp.hhp", "无法创建文件 ROOT/pages/chm_hhp.hhp：模拟的故障"},
    {"create chm_hhp.hhc", "无法创建文件 ROOT/pages/chm_hhp.hhc：模拟的故障"},
    {"start hhc.exe", "无法启动 ROOT/app/hhc.exe：模拟的故障"},
    {"start hh.exe", "无法启动 ROOT/app/hh.exe：模拟的故障"},
    {"cd pages", "无法进入工程文件夹 ROOT/pages/"},
    {"missing template", "无法打开文件 ROOT/app/chm_dll0.dll"},
    {"short template", "模板文件 ROOT/app/chm_dll0.dll 不完整"},
};

} // namespace

class BuildPipelineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fixture::WindowFixture> f;

    frmMain& openWithPages(bool show = false) {
        f->temp.write("pages/index.htm", pageWithTitle("首页"));
        f->temp.write("pages/a.htm", pageWithTitle("甲"));
        return show ? f->shown(f->pages()) : f->open(f->pages());
    }
    // A project of its own in folder "proj", opened in HHP mode; its compiler writes my.chm.
    frmMain& openProject(const std::string& contents = "toc.hhc") {
        f->temp.write("proj/p.htm", pageWithTitle("页"));
        f->temp.write("proj/my.hhp",
                      "[OPTIONS]\r\nCompiled file=my.chm\r\nContents file=" + contents +
                          "\r\nIndex file=idx.hhk\r\n\r\n[FILES]\r\n"
                          "p.htm\r\n");
        frmMain& w = f->open(f->pages());
        f->dialogs.answers.push_back(f->temp.str("proj/my.hhp"));
        w.mnuFileOpen->trigger();
        f->journal.entries.clear();
        f->compiler = [](const host::ToolCommand& c) {
            return fixture::WindowFixture::writeCompiledFile(c, "my.chm");
        };
        return w;
    }
    void checkRestored(const frmMain& w) {
        QVERIFY(w.isEnabled() && !w.isBuilding());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(w.statusText(), QStringLiteral("就绪"));
    }

private slots:
    void init() {
        f = std::make_unique<fixture::WindowFixture>();
        f->compiler = [](const host::ToolCommand& c) {
            return c.program.ends_with("hhc.exe") ? fixture::WindowFixture::writeCompiledFile(c)
                                                  : host::ToolOutcome{true, 0, {}};
        };
    }
    void cleanup() { f.reset(); }

    void htmlModeWritesTheProjectThenContentsAndIndexWhileBusy() {
        frmMain& w = openWithPages();
        w.Text1->setText(QStringLiteral("我的帮助"));
        w.mnuOpeMakeContIndex->trigger();
        QCOMPARE(f->journal.entries,
                 (Strings{"copy app/chm_dll1.dll -> pages/chm_about.htm [就绪]",
                          "create pages/chm_hhp.hhp [就绪]",
                          "copy app/chm_dll1.dll -> pages/chm_about.htm [就绪" + kBusy,
                          "create pages/chm_hhp.hhc [正在编写目录..." + kBusy,
                          "create pages/chm_hhp.hhk [正在编写目录..." + kBusy}));
        checkRestored(w);
        QVERIFY(f->temp.read("pages/chm_hhp.hhp").find("\"我的帮助\"") != std::string::npos);
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "index.htm"}));
        QVERIFY(f->boxes.requests.empty() && f->tools.calls.empty());
    }

    void theStartPage_data() {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("startPage");
        QTest::newRow("index.html first") << QStringList{"a.htm", "index.html"} << "index.html";
        QTest::newRow("first page") << QStringList{"b.htm", "c.htm"} << "b.htm";
        QTest::newRow("about page skipped") << QStringList{"chm_about.htm", "b.htm"} << "b.htm";
        QTest::newRow("only the about page") << QStringList{"chm_about.htm"} << "";
    }
    void theStartPage() {
        QFETCH(QStringList, pages);
        QFETCH(QString, startPage);
        for (const QString& page : pages) {
            f->temp.write("pages/" + page.toStdString(), pageWithTitle("t"));
        }
        f->open(f->pages()).mnuOpeMakeContIndex->trigger();
        const std::string hhp = f->temp.read("pages/chm_hhp.hhp");
        QVERIFY2(hhp.find("\",\"\",\"" + startPage.toStdString() + "\",") != std::string::npos,
                 hhp.c_str());
    }

    void aCompileAnsweredYesDeletesTheIntermediateFilesAndNoKeepsThem() {
        frmMain& w = openWithPages();
        f->boxes.answers = {host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();
        const std::string busy = "[正在编译工程..." + kBusy;
        QCOMPARE(f->journal.entries.size(), std::size_t{13});
        const Strings tail(f->journal.entries.begin() + 5, f->journal.entries.end());
        QCOMPARE(
            tail,
            (Strings{"ask " + kDelete + " " + busy, "cd pages/ " + busy,
                     "run app/hhc.exe chm_hhp.hhp in pages/ " + busy,
                     "start app/hh.exe chm_hhp.chm in pages/ " + busy,
                     "delete pages/chm_hhp.hhp " + busy, "delete pages/chm_hhp.hhc " + busy,
                     "delete pages/chm_hhp.hhk " + busy, "delete pages/chm_about.htm " + busy}));
        QCOMPARE(f->boxes.requests[0].title, std::string("CHM Quorlin V1.1"));
        QCOMPARE(f->boxes.requests[0].icon, host::MessageIcon::Question);
        checkRestored(w);
        QVERIFY(fs::exists(f->pages() / "chm_hhp.chm"));
        QCOMPARE(w.List1->count(), 0);
        QCOMPARE(modProject::CurrentProject.ProjectFile, std::string());
        QCOMPARE(modProject::CurrentProject.CompiledFile, std::string());

        f->journal.entries.clear();
        f->boxes.answers = {host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        for (const auto& entry : f->journal.entries) {
            QVERIFY2(!entry.starts_with("delete"), entry.c_str());
        }
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "index.htm"}));
    }

    void aPageNamedLikeAnOptionNamesNoCompiledFile() {
        f->temp.write("pages/CompiledHelp_FAQ.htm", pageWithTitle("问答"));
        f->open(f->pages()).mnuOpeCompile->trigger();
        QCOMPARE(f->boxes.texts(), Strings{kDelete});
        QCOMPARE(f->tools.calls.at(1).command.arguments, std::string("chm_hhp.chm"));
    }

    void hhpModeAsksBeforeRewriting() {
        frmMain& w = openProject();
        w.mnuOpeMakeContIndex->trigger(); // answered No
        QCOMPARE(f->journal.entries,
                 (Strings{"copy app/chm_dll1.dll -> proj/chm_about.htm [就绪" + kBusy,
                          "ask " + kRewrite + " [就绪" + kBusy}));
        checkRestored(w);
        f->boxes.answers = {host::MessageAnswer::Yes};
        w.mnuOpeMakeContIndex->trigger();
        QVERIFY(fs::exists(f->temp / "proj/toc.hhc") && fs::exists(f->temp / "proj/idx.hhk"));
        QVERIFY(w.modeHhp->isChecked());
    }

    void hhpModeCompileEndsInHtmlMode_data() {
        fixture::yesNoRows("deleteFiles", "files deleted", "files kept");
    }
    void hhpModeCompileEndsInHtmlMode() {
        QFETCH(bool, deleteFiles);
        frmMain& w = openProject();
        f->boxes.answers = {host::MessageAnswer::Yes,
                            deleteFiles ? host::MessageAnswer::Yes : host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        QCOMPARE(f->tools.calls[0].command.arguments, std::string("my.hhp"));
        QCOMPARE(f->tools.calls[1].command.arguments, std::string("my.chm"));
        QVERIFY(w.modeHtml->isChecked());
        QVERIFY(fs::exists(f->temp / "proj/my.chm") && fs::exists(f->temp / "proj/p.htm"));
        // The opened project and the files it names go too, not only generated ones.
        for (const char* name : {"proj/my.hhp", "proj/toc.hhc", "proj/idx.hhk"}) {
            QCOMPARE(fs::exists(f->temp / name), !deleteFiles);
        }
        // With the list emptied the switch leaves the build commands off.
        QCOMPARE(w.mnuOpeCompile->isEnabled(), !deleteFiles);
    }

    void deletionRemovesTheFilesWhereTheyWereWritten() {
        f->temp.write("proj/toc.hhc", "the user's own file"); // the name left after "..\"
        frmMain& w = openProject("..\\toc.hhc");
        f->boxes.answers = {host::MessageAnswer::Yes, host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();
        QVERIFY(fs::exists(f->temp / "proj/my.chm"));
        QVERIFY(!fs::exists(f->temp / "toc.hhc"));
        QCOMPARE(f->temp.read("proj/toc.hhc"), std::string("the user's own file"));
    }

    void aFailedCompileIsReportedAndNothingIsDeleted_data() {
        fixture::yesNoRows("staleFile", "old compiled file left as it was", "no compiled file");
    }
    void aFailedCompileIsReportedAndNothingIsDeleted() {
        QFETCH(bool, staleFile);
        if (staleFile) {
            f->temp.write("pages/chm_hhp.chm", "an old compiled file");
        }
        frmMain& w = openWithPages();
        f->compiler = [](const host::ToolCommand&) {
            return host::ToolOutcome{true, 0, "HHC5003: Error: 找不到页面 x.htm"};
        };
        f->boxes.answers = {host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();
        QCOMPARE(f->boxes.texts().at(1),
                 "工程编译失败：编译程序没有生成 " + (f->pages() / "chm_hhp.chm").string() +
                     "。\n\n编译程序的输出：\nHHC5003: Error: 找不到页面 x.htm");
        QCOMPARE(f->tools.calls.size(), std::size_t{1}); // no viewer on a stale file
        QVERIFY(fs::exists(f->pages() / "chm_hhp.hhp") && fs::exists(f->pages() / "chm_hhp.hhk"));
        QCOMPARE(w.List1->count(), 2);
        checkRestored(w);
    }

    void aFailingStepIsReportedAndTheWindowRestored_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // ROOT stands for the test's folder
        for (const auto& [fault, message] : kFaults) {
            QTest::newRow(fault) << fault << message;
        }
    }
    void aFailingStepIsReportedAndTheWindowRestored() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        frmMain& w = openWithPages();
        const std::string what = fault.section(' ', 1).toStdString();
        if (fault.startsWith("create")) {
            f->files.failCreate = {what};
        } else if (fault.startsWith("start")) {
            f->tools.failToStart = {what};
        } else if (fault.startsWith("cd")) {
            f->files.failChdir = {what};
        } else if (fault == "missing template") {
            fs::remove(f->temp / "app/chm_dll0.dll");
        } else {
            fs::resize_file(f->temp / "app/chm_dll0.dll", 200);
        }
        f->boxes.answers = {host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();
        const std::string expected =
            message.replace("ROOT", QString::fromStdString(f->temp.str())).toStdString();
        QVERIFY2(f->boxes.texts().back().starts_with(expected), f->boxes.texts().back().c_str());
        checkRestored(w);
        QVERIFY(fs::exists(f->pages() / "chm_about.htm")); // nothing deleted after a failure
    }

    void hhpModeWithoutAProjectRefuses() {
        frmMain& w = openWithPages();
        w.modeHhp->trigger();
        w.mnuOpeCompile_Click(); // the command is off; the handler must still refuse
        QCOMPARE(f->boxes.texts(),
                 Strings{"还没有打开工程文件，无法编写或编译。请先用“打开”选择一个"
                         "工程文件 (*.hhp)。"});
        QVERIFY(f->tools.calls.empty() && !fs::exists(f->pages() / "chm_hhp.hhp"));
        checkRestored(w);
    }

    void theWindowIgnoresCloseRequestsWhileTheCompilerRuns() {
        frmMain& w = openWithPages(true);
        bool closed = true;
        f->compiler = [&](const host::ToolCommand& c) {
            closed = w.close();
            return fixture::WindowFixture::writeCompiledFile(c);
        };
        w.mnuOpeCompile->trigger();
        QVERIFY(!closed && w.isVisible());
        checkRestored(w);
    }
};

QTEST_MAIN(BuildPipelineTest)
#include "build_pipeline_test.moc"
