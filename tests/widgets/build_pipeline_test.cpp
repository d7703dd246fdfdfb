// The build: every mode and action with scripted answers, checked through one journal of
// files written, questions asked and tools started, with the window's state at each step;
// and the failures of each step, injected through the host layer.
#include "twips.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTest>

using fixture::read;
using fixture::write;
using Strings = std::vector<std::string>;

namespace {

const std::string kRewrite = "你是否真的想重新编写目录及索引?";
const std::string kDelete = "编译完工程后是否删除相关文件？";

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text();
    }
    return items;
}

} // namespace

class BuildPipelineTest : public QObject {
    Q_OBJECT

private:
    fixture::WindowFixture f;

    void addPages() {
        write(f.pages() / "index.htm", fixture::pageWithTitle("首页"));
        write(f.pages() / "a.htm", fixture::pageWithTitle("甲"));
    }
    // A project of its own in folder "proj", with the contents and index names given.
    std::string project(const std::string& contents = "toc.hhc",
                        const std::string& index = "idx.hhk") {
        write(f.root() / "proj" / "p.htm", fixture::pageWithTitle("页"));
        const fs::path path = f.root() / "proj" / "my.hhp";
        write(path, "[OPTIONS]\r\nCompiled file=my.chm\r\nContents file=" + contents +
                        "\r\nIndex file=" + index + "\r\n\r\n[FILES]\r\np.htm\r\n");
        return path.string();
    }
    frmMain& openInHhpMode(const std::string& projectFile) {
        frmMain& w = f.open(f.pages());
        f.dialogs->answers.push_back(projectFile);
        w.mnuFileOpen->trigger();
        f.journal.entries.clear();
        return w;
    }
    void checkRestored(const frmMain& w) {
        QVERIFY(w.isEnabled());
        QVERIFY(!w.isBuilding());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(w.statusText(), QStringLiteral("就绪"));
    }
    void checkQuestion(std::size_t i, const std::string& text) {
        QVERIFY(i < f.boxes->requests.size());
        const auto& box = f.boxes->requests[i];
        QCOMPARE(box.text, text);
        QCOMPARE(box.buttons, host::MessageButtons::YesNo);
        QCOMPARE(box.icon, host::MessageIcon::Question);
        QCOMPARE(box.title, std::string("CHM Quorlin V1.1"));
    }

private slots:
    void init() {
        f.setUp(QTest::currentTestFunction());
        f.compiler = [this](const host::ToolCommand& c) {
            if (c.program.find("hhc.exe") != std::string::npos) {
                return f.writeCompiledFile(c);
            }
            return host::ToolOutcome{true, 0, {}};
        };
    }
    void cleanup() { f.tearDown(); }

    void htmlModeWritesTheProjectContentsAndIndex_data() {
        QTest::addColumn<bool>("viaToolbar");
        QTest::newRow("menu") << false;
        QTest::newRow("toolbar") << true;
    }
    void htmlModeWritesTheProjectContentsAndIndex() {
        QFETCH(bool, viaToolbar);
        addPages();
        frmMain& w = f.open(f.pages());
        w.Text1->setText(QStringLiteral("我的帮助"));
        (viaToolbar ? w.toolbarButton(5) : w.mnuOpeMakeContIndex)->trigger();

        QCOMPARE(modProject::BuildAction, std::optional<int>(1));
        QCOMPARE(f.journal.entries,
                 (Strings{"copy app/chm_dll1.dll -> pages/chm_about.htm [就绪]",
                          "create pages/chm_hhp.hhp [就绪]",
                          "copy app/chm_dll1.dll -> pages/chm_about.htm [就绪,disabled,busy]",
                          "create pages/chm_hhp.hhc [正在编写目录...,disabled,busy]",
                          "create pages/chm_hhp.hhk [正在编写目录...,disabled,busy]"}));
        checkRestored(w);
        const std::string hhp = read(f.pages() / "chm_hhp.hhp");
        QVERIFY(hhp.find("main=\"我的帮助\",\"chm_hhp.hhc\",\"chm_hhp.hhk\",\"\",\"index.htm\",") !=
                std::string::npos);
        QVERIFY(read(f.pages() / "chm_hhp.hhc").find("首页") != std::string::npos);
        QVERIFY(read(f.pages() / "chm_hhp.hhk").find("甲") != std::string::npos);
        QCOMPARE(modProject::CurrentProject.ProjectFile, (f.pages() / "chm_hhp.hhp").string());
        QCOMPARE(modProject::CurrentProject.CompiledFile, std::string("chm_hhp.chm"));
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "index.htm"}));
        QVERIFY(f.boxes->requests.empty());
        QVERIFY(f.tools->calls.empty());
        QVERIFY(w.modeHtml->isChecked());
    }

    void theStartPage_data() {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("startPage");
        QTest::newRow("index.html before others")
            << QStringList{"a.htm", "index.html"} << "index.html";
        QTest::newRow("first page") << QStringList{"b.htm", "c.htm"} << "b.htm";
        QTest::newRow("about page skipped") << QStringList{"chm_about.htm", "b.htm"} << "b.htm";
        QTest::newRow("only the about page") << QStringList{"chm_about.htm"} << "";
    }
    void theStartPage() {
        QFETCH(QStringList, pages);
        QFETCH(QString, startPage);
        for (const QString& page : pages) {
            write(f.pages() / page.toStdString(), fixture::pageWithTitle("t"));
        }
        frmMain& w = f.open(f.pages());
        w.mnuOpeMakeContIndex->trigger();
        const std::string hhp = read(f.pages() / "chm_hhp.hhp");
        const std::string expected = "\",\"\",\"" + startPage.toStdString() + "\",,,,,0x2520";
        QVERIFY2(hhp.find(expected) != std::string::npos, hhp.c_str());
    }

    void htmlModeCompileDeletesTheIntermediateFilesOnYes_data() {
        QTest::addColumn<bool>("viaToolbar");
        QTest::newRow("menu") << false;
        QTest::newRow("toolbar") << true;
    }
    void htmlModeCompileDeletesTheIntermediateFilesOnYes() {
        QFETCH(bool, viaToolbar);
        addPages();
        frmMain& w = f.open(f.pages());
        f.boxes->answers = {host::MessageAnswer::Yes};
        (viaToolbar ? w.toolbarButton(6) : w.mnuOpeCompile)->trigger();

        QCOMPARE(modProject::BuildAction, std::optional<int>(2));
        const std::string busy = "[正在编译工程...,disabled,busy]";
        QCOMPARE(
            f.journal.entries,
            (Strings{"copy app/chm_dll1.dll -> pages/chm_about.htm [就绪]",
                     "create pages/chm_hhp.hhp [就绪]",
                     "copy app/chm_dll1.dll -> pages/chm_about.htm [就绪,disabled,busy]",
                     "create pages/chm_hhp.hhc [正在编写目录...,disabled,busy]",
                     "create pages/chm_hhp.hhk [正在编写目录...,disabled,busy]",
                     "ask " + kDelete + " " + busy, "cd pages/ " + busy,
                     "run app/hhc.exe chm_hhp.hhp in pages/ " + busy,
                     "start app/hh.exe chm_hhp.chm in pages/ " + busy,
                     "delete pages/chm_hhp.hhp " + busy, "delete pages/chm_hhp.hhc " + busy,
                     "delete pages/chm_hhp.hhk " + busy, "delete pages/chm_about.htm " + busy}));
        checkQuestion(0, kDelete);
        QCOMPARE(f.tools->calls.size(), std::size_t{2});
        QVERIFY(f.tools->calls[0].waited);
        QCOMPARE(f.tools->calls[0].command.window, host::WindowKind::Hidden);
        QVERIFY(!f.tools->calls[1].waited);
        QCOMPARE(f.tools->calls[1].command.window, host::WindowKind::NormalFocus);
        checkRestored(w);
        QVERIFY(fs::exists(f.pages() / "chm_hhp.chm"));
        for (const char* gone : {"chm_hhp.hhp", "chm_hhp.hhc", "chm_hhp.hhk", "chm_about.htm"}) {
            QVERIFY2(!fs::exists(f.pages() / gone), gone);
        }
        QVERIFY(fs::exists(f.pages() / "a.htm"));
        QCOMPARE(w.List1->count(), 0);
        QCOMPARE(modProject::CurrentProject.ProjectFile, std::string());
        QCOMPARE(modProject::CurrentProject.CompiledFile, std::string());
        QCOMPARE(fs::current_path(), f.pages());
        QVERIFY(w.modeHtml->isChecked());

        // A second compile answered No deletes nothing.
        f.journal.entries.clear();
        f.boxes->answers = {host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        for (const auto& entry : f.journal.entries) {
            QVERIFY2(entry.rfind("delete", 0) != 0, entry.c_str());
        }
        QVERIFY(fs::exists(f.pages() / "chm_hhp.hhp"));
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "index.htm"}));
    }

    void aPageNamedLikeAnOptionIsNoOption() {
        write(f.pages() / "index.htm", fixture::pageWithTitle("首页"));
        write(f.pages() / "CompiledHelp_FAQ.htm", fixture::pageWithTitle("问答"));
        frmMain& w = f.open(f.pages());
        f.boxes->answers = {host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        QCOMPARE(f.boxes->texts(), Strings{kDelete});
        QCOMPARE(f.tools->calls.size(), std::size_t{2});
        QCOMPARE(f.tools->calls[1].command.arguments, std::string("chm_hhp.chm"));
    }

    void hhpModeAsksBeforeRewriting_data() {
        QTest::addColumn<bool>("rewrite");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void hhpModeAsksBeforeRewriting() {
        QFETCH(bool, rewrite);
        const std::string path = project();
        frmMain& w = openInHhpMode(path);
        f.boxes->answers = {rewrite ? host::MessageAnswer::Yes : host::MessageAnswer::No};
        w.mnuOpeMakeContIndex->trigger();

        Strings expected{"copy app/chm_dll1.dll -> proj/chm_about.htm [就绪,disabled,busy]",
                         "ask " + kRewrite + " [就绪,disabled,busy]"};
        if (rewrite) {
            expected.push_back("create proj/toc.hhc [正在编写目录...,disabled,busy]");
            expected.push_back("create proj/idx.hhk [正在编写目录...,disabled,busy]");
        }
        QCOMPARE(f.journal.entries, expected);
        checkQuestion(0, kRewrite);
        checkRestored(w);
        QCOMPARE(fs::exists(f.root() / "proj" / "toc.hhc"), rewrite);
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"p.htm"});
        QCOMPARE(modProject::CurrentProject.ContentsFile, std::string("toc.hhc"));
    }

    void hhpModeCompileEndsInHtmlMode_data() {
        QTest::addColumn<bool>("deleteFiles");
        QTest::newRow("files deleted") << true;
        QTest::newRow("files kept") << false;
    }
    void hhpModeCompileEndsInHtmlMode() {
        QFETCH(bool, deleteFiles);
        const std::string path = project();
        frmMain& w = openInHhpMode(path);
        f.compiler = [this](const host::ToolCommand& c) {
            return f.writeCompiledFile(c, "my.chm");
        };
        f.boxes->answers = {host::MessageAnswer::Yes,
                            deleteFiles ? host::MessageAnswer::Yes : host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();

        checkQuestion(0, kRewrite);
        checkQuestion(1, kDelete);
        QCOMPARE(f.tools->calls.size(), std::size_t{2});
        QCOMPARE(f.tools->calls[0].command.arguments, std::string("my.hhp"));
        QCOMPARE(f.tools->calls[0].command.workingFolder, (f.root() / "proj").string() + "/");
        QCOMPARE(f.tools->calls[1].command.arguments, std::string("my.chm"));
        checkRestored(w);
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(w.Picture1->y(), layout::twips(480));
        QVERIFY(fs::exists(f.root() / "proj" / "my.chm"));
        QVERIFY(fs::exists(f.root() / "proj" / "p.htm"));
        // The opened project and the files it names go too, not only generated ones.
        QCOMPARE(fs::exists(path), !deleteFiles);
        QCOMPARE(fs::exists(f.root() / "proj" / "toc.hhc"), !deleteFiles);
        QCOMPARE(fs::exists(f.root() / "proj" / "idx.hhk"), !deleteFiles);
        QCOMPARE(fs::exists(f.root() / "proj" / "chm_about.htm"), !deleteFiles);
        // With the list emptied the switch leaves the build commands off.
        QCOMPARE(w.mnuOpeCompile->isEnabled(), !deleteFiles);
        QCOMPARE(w.toolbarButton(5)->isEnabled(), !deleteFiles);
    }

    void deletionRemovesTheFilesWhereTheyWereWritten_data() {
        QTest::addColumn<QString>("contents");
        QTest::addColumn<QString>("created"); // as the writer named it, from the test's root
        QTest::addColumn<QString>("written"); // where it landed
        QTest::newRow("climbing") << "../toc.hhc"
                                  << "toc.hhc"
                                  << "toc.hhc";
        QTest::newRow("climbing, Windows spelling") << "..\\toc.hhc"
                                                    << "toc.hhc"
                                                    << "toc.hhc";
        QTest::newRow("absolute") << "ABSOLUTE"
                                  << "elsewhere/toc.hhc"
                                  << "elsewhere/toc.hhc";
    }
    void deletionRemovesTheFilesWhereTheyWereWritten() {
        QFETCH(QString, contents);
        QFETCH(QString, created);
        QFETCH(QString, written);
        std::string name = contents.toStdString();
        if (name == "ABSOLUTE") {
            fs::create_directories(f.root() / "elsewhere");
            name = (f.root() / "elsewhere" / "toc.hhc").string();
        }
        const std::string path = project(name);
        // A file of the user's that has the name left after the "../" is taken off.
        write(f.root() / "proj" / "toc.hhc", "the user's own file");
        frmMain& w = openInHhpMode(path);
        f.compiler = [this](const host::ToolCommand& c) {
            return f.writeCompiledFile(c, "my.chm");
        };
        f.boxes->answers = {host::MessageAnswer::Yes, host::MessageAnswer::Yes};
        w.mnuOpeCompile->trigger();

        QVERIFY(std::find(f.journal.entries.begin(), f.journal.entries.end(),
                          "create " + created.toStdString() + " [正在编写目录...,disabled,busy]") !=
                f.journal.entries.end());
        QVERIFY(fs::exists(f.root() / "proj" / "my.chm"));
        QVERIFY(!fs::exists(f.root() / written.toStdString()));
        QCOMPARE(read(f.root() / "proj" / "toc.hhc"), std::string("the user's own file"));
        QVERIFY(!fs::exists(f.root() / "proj" / "idx.hhk"));
        QVERIFY(f.boxes->texts().size() == 2);
    }

    void aFailedCompileIsReportedAndNothingIsDeleted_data() {
        QTest::addColumn<bool>("staleFile");
        QTest::addColumn<bool>("viaToolbar");
        QTest::newRow("no compiled file") << false << false;
        QTest::newRow("no compiled file, toolbar") << false << true;
        QTest::newRow("old compiled file left as it was") << true << false;
    }
    void aFailedCompileIsReportedAndNothingIsDeleted() {
        QFETCH(bool, staleFile);
        QFETCH(bool, viaToolbar);
        addPages();
        if (staleFile) {
            write(f.pages() / "chm_hhp.chm", "an old compiled file");
        }
        frmMain& w = f.open(f.pages());
        f.compiler = [](const host::ToolCommand&) {
            return host::ToolOutcome{true, 0, "HHC5003: Error: 找不到页面 x.htm"};
        };
        f.boxes->answers = {host::MessageAnswer::Yes};
        (viaToolbar ? w.toolbarButton(6) : w.mnuOpeCompile)->trigger();

        const Strings texts = f.boxes->texts();
        QCOMPARE(texts.size(), std::size_t{2});
        QCOMPARE(texts[1], "工程编译失败：编译程序没有生成 " +
                               (f.pages() / "chm_hhp.chm").string() +
                               "。\n\n编译程序的输出：\nHHC5003: Error: 找不到页面 x.htm");
        QCOMPARE(f.tools->calls.size(), std::size_t{1}); // no viewer on a stale file
        for (const char* kept : {"chm_hhp.hhp", "chm_hhp.hhc", "chm_hhp.hhk", "chm_about.htm"}) {
            QVERIFY2(fs::exists(f.pages() / kept), kept);
        }
        QCOMPARE(w.List1->count(), 2);
        QCOMPARE(modProject::CurrentProject.ProjectFile, (f.pages() / "chm_hhp.hhp").string());
        checkRestored(w);
    }

    void aFailingStepIsReportedAndTheWindowRestored_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("viaToolbar");
        QTest::addColumn<bool>("compile");
        QTest::addColumn<QString>("message"); // ROOT stands for the test's folder
        for (bool toolbar : {false, true}) {
            const QByteArray via = toolbar ? ", toolbar" : ", menu";
            QTest::newRow("project file" + via)
                << "create chm_hhp.hhp" << toolbar << false
                << "无法创建文件 ROOT/pages/chm_hhp.hhp：模拟的故障";
            QTest::newRow("contents file" + via)
                << "create chm_hhp.hhc" << toolbar << false
                << "无法创建文件 ROOT/pages/chm_hhp.hhc：模拟的故障";
            QTest::newRow("compiler" + via)
                << "start hhc.exe" << toolbar << true << "无法启动 ROOT/app/hhc.exe：模拟的故障";
            QTest::newRow("viewer" + via)
                << "start hh.exe" << toolbar << true << "无法启动 ROOT/app/hh.exe：模拟的故障";
            QTest::newRow("project folder" + via)
                << "cd pages" << toolbar << true << "无法进入工程文件夹 ROOT/pages/";
            QTest::newRow("missing template" + via)
                << "missing template" << toolbar << false << "无法打开文件 ROOT/app/chm_dll0.dll";
            QTest::newRow("short template" + via)
                << "short template" << toolbar << false << "模板文件 ROOT/app/chm_dll0.dll 不完整";
        }
    }
    void aFailingStepIsReportedAndTheWindowRestored() {
        QFETCH(QString, fault);
        QFETCH(bool, viaToolbar);
        QFETCH(bool, compile);
        QFETCH(QString, message);
        addPages();
        frmMain& w = f.open(f.pages());
        const std::string what = fault.section(' ', 1).toStdString();
        if (fault.startsWith("create")) {
            f.files->failCreate = {what};
        } else if (fault.startsWith("start")) {
            f.tools->failToStart = {what};
        } else if (fault.startsWith("cd")) {
            f.files->failChdir = {what};
        } else if (fault == "missing template") {
            fs::remove(f.app() / "chm_dll0.dll");
        } else {
            fs::resize_file(f.app() / "chm_dll0.dll", 200);
        }
        f.boxes->answers = {host::MessageAnswer::No};
        if (compile) {
            (viaToolbar ? w.toolbarButton(6) : w.mnuOpeCompile)->trigger();
        } else {
            (viaToolbar ? w.toolbarButton(5) : w.mnuOpeMakeContIndex)->trigger();
        }
        const Strings texts = f.boxes->texts();
        QVERIFY(!texts.empty());
        const std::string expected =
            message.replace("ROOT", QString::fromStdString(f.root().string())).toStdString();
        QVERIFY2(texts.back().rfind(expected, 0) == 0, texts.back().c_str());
        QCOMPARE(f.boxes->requests.back().buttons, host::MessageButtons::Ok);
        checkRestored(w);
        if (fault == "start hh.exe") {
            QVERIFY(fs::exists(f.pages() / "chm_hhp.hhp")); // nothing deleted after a failure
        }
    }

    void hhpModeWithoutAProjectRefuses() {
        addPages();
        frmMain& w = f.open(f.pages());
        w.modeHhp->trigger();
        // Unreachable from the menu now (the commands are off); the handler must still refuse.
        w.mnuOpeCompile_Click();
        QCOMPARE(
            f.boxes->texts(),
            Strings{"还没有打开工程文件，无法编写或编译。请先用“打开”选择一个工程文件 (*.hhp)。"});
        QVERIFY(f.journal.entries.size() == 1);
        QVERIFY(f.tools->calls.empty());
        QVERIFY(!fs::exists(f.pages() / "chm_hhp.hhp"));
        QVERIFY(w.modeHhp->isChecked());
        checkRestored(w);
    }

    void theWindowIgnoresCloseRequestsWhileTheCompilerRuns() {
        addPages();
        frmMain& w = f.open(f.pages());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bool closedDuringCompile = true;
        f.compiler = [&](const host::ToolCommand& c) {
            if (c.program.find("hhc.exe") != std::string::npos) {
                closedDuringCompile = w.close();
                return f.writeCompiledFile(c);
            }
            return host::ToolOutcome{true, 0, {}};
        };
        w.mnuOpeCompile->trigger();
        QVERIFY(!closedDuringCompile);
        QVERIFY(w.isVisible());
        checkRestored(w);
        QVERIFY(w.close());
    }
};

QTEST_MAIN(BuildPipelineTest)
#include "build_pipeline_test.moc"
