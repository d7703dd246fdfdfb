// The build as the window shows it: the title it passes on, its state while the compiler
// runs, the mode and the build commands afterwards, and a window that is never left disabled.
#include "window_fixture.h"

#include <QApplication>
#include <QLineEdit>

using fixture::itemsOf;

namespace {

// A compiler stand-in that writes the compiled file the project names.
host::ToolOutcome writeCompiledFile(const host::ToolCommand& command, const std::string& name) {
    if (command.program.ends_with("hhc.exe")) {
        host::testing::writeFile(fs::path(command.workingFolder) / name, "ITSF compiled");
    }
    return {true, 0, "compiled"};
}

} // namespace

class BuildPipelineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fixture::WindowFixture> f;

    frmMain& openWithPages(bool show = false) {
        f->page("index.htm");
        f->page("a.htm");
        return f->open(f->pages(), show);
    }
    // Reads the window's state: the status text, then whether it is disabled and busy.
    static QString stateOf(const frmMain& w) {
        return w.statusText() + (w.isEnabled() ? "" : ",disabled") +
               (QApplication::overrideCursor() != nullptr ? ",busy" : "") +
               (w.isBuilding() ? ",building" : "");
    }

private slots:
    void init() {
        f = std::make_unique<fixture::WindowFixture>();
        f->tools.behaviour = [](const host::ToolCommand& c) {
            return writeCompiledFile(c, "chm_hhp.chm");
        };
    }
    void cleanup() { f.reset(); }

    // The window is busy while the compiler runs, ignores close requests, and is ready after.
    void theWindowIsBusyWhileTheCompilerRunsAndReadyAfterwards() {
        frmMain& w = openWithPages(true);
        w.Text1->setText(QStringLiteral("我的帮助"));
        QString during;
        f->tools.behaviour = [&](const host::ToolCommand& c) {
            during = stateOf(w) + (w.close() ? ",closed" : "");
            return writeCompiledFile(c, "chm_hhp.chm");
        };
        w.mnuOpeCompile->trigger(); // the files are kept
        QCOMPARE(during, QStringLiteral("正在编译工程...,disabled,busy,building"));
        QVERIFY(w.isVisible());
        QCOMPARE(stateOf(w), QStringLiteral("就绪"));
        QVERIFY(f->temp.read("pages/chm_hhp.hhp").find("\"我的帮助\"") != std::string::npos);
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "index.htm"}));
        QCOMPARE(f->boxes.requests.at(0).title, std::string("CHM Quorlin V1.1"));
    }

    void anHhpCompileEndsInHtmlMode_data() {
        fixture::yesNoRows("deleteFiles", "files deleted", "files kept");
    }
    void anHhpCompileEndsInHtmlMode() {
        QFETCH(bool, deleteFiles);
        f->temp.write("proj/my.hhp", "[OPTIONS]\r\nCompiled file=my.chm\r\n[FILES]\r\np.htm\r\n");
        frmMain& w = f->open(f->pages());
        f->dialogs.answers.push_back(f->temp.str("proj/my.hhp"));
        w.mnuFileOpen->trigger();
        f->tools.behaviour = [](const host::ToolCommand& c) {
            return writeCompiledFile(c, "my.chm");
        };
        f->boxes.answers = {host::MessageAnswer::Yes,
                            deleteFiles ? host::MessageAnswer::Yes : host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(w.List1->count(), deleteFiles ? 0 : 1);
        // With the list emptied the switch leaves the build commands off.
        QCOMPARE(fixture::buildCommands(w), deleteFiles ? fixture::kOff : fixture::kOn);
    }

    void aFailingStepIsReportedAndTheWindowRestored() {
        frmMain& w = openWithPages();
        f->tools.failToStart = {"hhc.exe"};
        w.mnuOpeCompile->trigger();
        QCOMPARE(f->boxes.texts().back(), "无法启动 " + f->appFolder + "hhc.exe：模拟的故障");
        QCOMPARE(stateOf(w), QStringLiteral("就绪"));
    }

    void hhpModeWithoutAProjectRefuses() {
        frmMain& w = openWithPages();
        w.modeHhp->trigger();
        w.mnuOpeCompile_Click(); // the command is off; the handler must still refuse
        QCOMPARE(f->boxes.texts(),
                 Strings{"还没有打开工程文件，无法编写或编译。请先用“打开”选择一个"
                         "工程文件 (*.hhp)。"});
        QVERIFY(f->tools.calls.empty() && !fs::exists(f->pages() / "chm_hhp.hhp"));
        QCOMPARE(stateOf(w), QStringLiteral("就绪"));
    }
};

QTEST_MAIN(BuildPipelineTest)
#include "build_pipeline_test.moc"
