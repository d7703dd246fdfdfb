// The main window: its start-up state, the drive/folder/page chain, the two modes and the
// enabling rule of the build commands, where each menu item and toolbar button leads, and the
// build as the window shows it (its state while the compiler runs, the mode afterwards); and
// the About box: its texts fit, the mail link goes to the desktop, and the ways it closes.
#include "folder_list.h"
#include "frmAbout.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

using fixture::buildCommands;
using fixture::itemsOf;
using fixture::kOff;
using fixture::kOn;
using host::testing::writesCompiledFile;

namespace {

// Activates the folder list's entry for folder, as Enter (or a double-click) does.
void enterFolder(frmMain& w, const fs::path& folder) {
    for (int i = 0; i < w.Dir1->count(); ++i) {
        if (FolderList::folderOf(w.Dir1->item(i)) == folder.string()) {
            w.Dir1->setCurrentItem(w.Dir1->item(i));
            QTest::keyClick(w.Dir1, Qt::Key_Return);
            return;
        }
    }
    QFAIL(("no folder list entry for " + folder.string()).c_str());
}

// Picks drive from the drive list's pop-up with Enter, as the user does.
void pickDrive(frmMain& w, const QString& drive) {
    w.Drive1->showPopup();
    QAbstractItemView* popup = w.Drive1->view();
    QTRY_VERIFY(popup->isVisible());
    popup->setCurrentIndex(popup->model()->index(w.Drive1->findText(drive), 0));
    QTest::keyClick(popup, Qt::Key_Return);
    QTRY_VERIFY(!popup->isVisible());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<fixture::WindowFixture> f;

    // A project in its own folder listing pages.
    std::string project(const std::string& folder, const std::string& files) {
        f->temp.write(folder + "/t.hhp", "[FILES]\r\n" + files + "\r\n");
        return f->temp.str(folder + "/t.hhp");
    }
    void openProject(const std::string& path) {
        f->dialogs.answers.push_back(path);
        f->window->mnuFileOpen->trigger();
    }
    frmMain& openWithPages(bool show = false) {
        f->page("index.htm");
        f->page("a.htm");
        return f->open(f->pages(), show);
    }
    static QString stateOf(const frmMain& w) {
        return w.statusText() + (w.isEnabled() ? "" : ",disabled") +
               (QApplication::overrideCursor() != nullptr ? ",busy" : "") +
               (w.isBuilding() ? ",building" : "");
    }

private slots:
    void init() { f = std::make_unique<fixture::WindowFixture>(); }
    void cleanup() { f.reset(); }

    void startsInHtmlModeWithTheFolderItWasStartedIn() {
        for (const char* name : {"index.html", "b.htm", "notes.txt"}) {
            f->page(name);
        }
        fs::create_directories(f->pages() / "sub");
        frmMain& w = f->open(f->pages());
        QCOMPARE(modProject::AppFolder, f->appFolder);
        QCOMPARE(itemsOf(w.File1), (QStringList{"b.htm", "index.html"}));
        QCOMPARE(buildCommands(w), kOn);
        QVERIFY(w.modeHtml->isChecked() && !w.modeHhp->isChecked());
        QVERIFY(w.Picture2->y() >= w.centralWidget()->height()); // parked out of sight
        // The folder list shows the way down from the drive's root, then the sub-folders.
        QCOMPARE(FolderList::folderOf(w.Dir1->currentItem()), f->pages().string());
        QCOMPARE(FolderList::folderOf(w.Dir1->item(w.Dir1->count() - 1)),
                 (f->pages() / "sub").string());
    }

    void programFolderGetsOneTrailingSeparator() {
        f->open(f->pages(), false, "/");
        QCOMPARE(modProject::AppFolder, std::string("/"));
    }

    void altFOpensTheFileMenuNotThePageList() {
        frmMain& w = f->open(f->pages(), true);
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(w.mnuFile->isVisible());
    }

    void folderAndDriveChangesListPagesAndApplyTheRule() {
        f->page("a.htm");
        f->page("sub/one.htm");
        fs::create_directories(f->pages() / "empty");
        fs::create_directories(f->pages() / "locked");
        frmMain& w = f->open(f->pages(), true);
        // An unreadable folder or drive is reported and the lists stay.
        f->files.failList = {"locked"};
        enterFolder(w, f->pages() / "locked");
        QCOMPARE(f->boxes.texts().size(), std::size_t{1});
        QVERIFY(f->boxes.texts()[0].starts_with(
            "无法读取文件夹 " + (f->pages() / "locked").string() + "：没有读取权限（"));
        f->files.failList = {"/"};
        const QString drive = w.Drive1->currentText();
        pickDrive(w, QStringLiteral("/"));
        QCOMPARE(f->boxes.requests.size(), std::size_t{2});
        QCOMPARE(w.Drive1->currentText(), drive);
        QCOMPARE(w.Dir1->path(), f->pages().string());
        QCOMPARE(buildCommands(w), kOn);

        f->files.failList.clear();
        enterFolder(w, f->pages() / "sub");
        QCOMPARE(itemsOf(w.File1), QStringList{"one.htm"});
        QCOMPARE(buildCommands(w), kOn);
        enterFolder(w, f->pages());
        enterFolder(w, f->pages() / "empty"); // no pages: only the build commands go off
        QCOMPARE(buildCommands(w), kOff);
        QVERIFY(w.toolbarButton(3)->isEnabled() && w.toolbarButton(8)->isEnabled());
        QVERIFY(w.men_dc->isEnabled());
        // Re-picking the drive already chosen keeps the folder; another moves to its root.
        pickDrive(w, w.Drive1->currentText());
        QCOMPARE(w.Dir1->path(), (f->pages() / "empty").string());
        pickDrive(w, QStringLiteral("/"));
        QCOMPARE(w.Dir1->path(), std::string("/"));
        QCOMPARE(f->boxes.requests.size(), std::size_t{2});
    }

    void anUnreadableStartFolderLeavesNothingToBuild() {
        f->page("a.htm");
        f->files.failList = {f->pages().string()};
        frmMain& w = f->open(f->pages());
        QCOMPARE(f->boxes.texts().size(), std::size_t{1});
        QCOMPARE(w.Dir1->path(), f->pages().string());
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommands(w), kOff);
    }

    void theModeSwitchAlwaysFlipsAndConsultsOnlyTheProjectList() {
        f->page("a.htm");
        frmMain& w = f->open(f->pages());
        w.modeHhp->trigger(); // no project yet: List1 is empty
        QVERIFY(w.modeHhp->isChecked() && !w.modeHtml->isChecked());
        QVERIFY(w.Picture2->y() < w.Picture1->y()); // the project list in view
        QCOMPARE(buildCommands(w), kOff);
        w.modeHhp->trigger(); // the checked item switches back
        QVERIFY(w.modeHtml->isChecked() && !w.modeHhp->isChecked());
        QVERIFY(w.Picture1->y() < w.Picture2->y());
        QCOMPARE(buildCommands(w), kOff); // the pages show, but only List1 counted
    }

    void openingAProjectSwitchesToHhpMode_data() {
        QTest::addColumn<bool>("hhpFirst");
        QTest::newRow("already in HHP mode") << true;
        QTest::newRow("from HTML mode") << false;
    }
    void openingAProjectSwitchesToHhpMode() {
        QFETCH(bool, hhpFirst);
        frmMain& w = f->open(f->pages()); // no pages: commands off
        if (hhpFirst) {
            w.modeHhp->trigger();
        }
        const std::string first = project("one", "a.htm\r\nsub\\b.htm");
        openProject(first);
        QCOMPARE(f->dialogs.requests[0].filter, std::string("工程文件 (*.hhp)|*.hhp"));
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "sub\\b.htm"}));
        QCOMPARE(buildCommands(w), kOn);
        QCOMPARE(modProject::CurrentProject.ProjectFile, first);

        const std::string second = project("two", "c.htm");
        openProject(second);
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"c.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, second);
        w.modeHtml->trigger(); // the commands stay on from List1, though no page shows
        QCOMPARE(buildCommands(w), kOn);
    }

    void reopeningOrARefusedOrCancelledOpenChangesNothing() {
        frmMain& w = f->open(f->pages());
        const std::string good = project("one", "a.htm");
        openProject(good);
        project("one", "changed.htm");
        openProject(good); // the current project again
        w.modeHtml->trigger();
        openProject(project("bad", "b.htm\r\n..\\outside.htm"));
        QCOMPARE(f->boxes.texts(), Strings{"文件打开失败，可能是语法有误，系统暂不能处理!!"});
        f->dialogs.answers = {std::nullopt, std::string()};
        w.mnuFileOpen->trigger();
        w.mnuFileOpen->trigger();
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, good);
        QCOMPARE(buildCommands(w), kOn);
        // The same name in another case is another project.
        fs::rename(f->temp / "one/t.hhp", f->temp / "one/T.hhp");
        openProject(f->temp.str("one/T.hhp"));
        QCOMPARE(itemsOf(w.List1), QStringList{"changed.htm"});
    }

    // One routing table: each menu item and toolbar button ("3" is button 3) reaches its
    // command, seen by what the command does.
    void eachMenuItemAndButtonReachesItsCommand_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("effect");
        const char* rows[][2] = {{"mnuFileOpen", "open"},
                                 {"3", "open"},
                                 {"mnuOpeMakeContIndex", "build 1"},
                                 {"5", "build 1"},
                                 {"mnuOpeCompile", "build 2"},
                                 {"6", "build 2"},
                                 {"mnuHelpContents", "help"},
                                 {"8", "help"},
                                 {"mnuHelpAbout", "frmAbout"},
                                 {"men_dc", "frmdecompile"},
                                 {"modeHtml", "HHP mode"},
                                 {"modeHhp", "HHP mode"},
                                 {"mnuFileExit", "closed"}};
        for (const auto& [control, effect] : rows) {
            QTest::newRow(control) << control << effect;
        }
    }
    void eachMenuItemAndButtonReachesItsCommand() {
        QFETCH(QString, control);
        QFETCH(QString, effect);
        f->page("a.htm");
        frmMain& w = f->open(f->pages(), true);
        QStringList seen;
        QTimer::singleShot(0, [&] { // a modal dialog, owned by the window, is closed again
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen << dialog->objectName() + (dialog->parentWidget() == &w ? "" : " unowned");
                dialog->reject();
            }
        });
        bool isButton = false;
        const int button = control.toInt(&isButton);
        (isButton ? w.toolbarButton(button) : w.findChild<QAction*>(control))->trigger();
        QCoreApplication::processEvents();
        if (!f->dialogs.requests.empty()) {
            seen << "open";
        }
        if (modProject::BuildAction) {
            seen << "build " + QString::number(*modProject::BuildAction);
        }
        if (!f->tools.calls.empty() && f->tools.calls[0].command.arguments == "help.chm") {
            seen << "help";
        }
        if (w.modeHhp->isChecked()) {
            seen << "HHP mode";
        }
        if (!w.isVisible()) {
            seen << "closed";
        }
        QCOMPARE(seen, QStringList{effect});
    }

    void otherKeysAndSeparatorsRunNothing() {
        frmMain& w = f->open(f->pages());
        QAction stranger;
        stranger.setProperty("Key", QStringLiteral("打开 "));
        w.tbToolBar_ButtonClick(&stranger);
        w.tbToolBar_ButtonClick(w.toolbarButton(1));
        QVERIFY(f->dialogs.requests.empty() && f->tools.calls.empty());
    }

    void helpStartsTheViewerFromTheProgramFolderOrSaysWhyNot() {
        frmMain& w = f->open(f->pages());
        w.mnuHelpContents->trigger();
        const auto& call = f->tools.calls.at(0);
        QCOMPARE(call.command.program, f->appFolder + "hh.exe");
        QCOMPARE(call.command.workingFolder, f->appFolder);
        QVERIFY(call.command.window == host::WindowKind::NormalFocus && !call.waited);
        QCOMPARE(fs::current_path(), f->temp / "app");
        f->tools.failToStart = {"hh.exe"};
        w.mnuHelpContents->trigger();
        f->files.failChdir = {"app"};
        w.mnuHelpContents->trigger();
        QCOMPARE(f->boxes.texts(), (Strings{"无法启动 " + f->appFolder + "hh.exe：模拟的故障",
                                            "无法进入程序所在的文件夹 " + f->appFolder}));
    }

    void theWindowIsBusyWhileTheCompilerRunsAndReadyAfterwards() {
        frmMain& w = openWithPages(true);
        w.Text1->setText(QStringLiteral("我的帮助"));
        QString during;
        f->tools.behaviour =
            [&, compile = writesCompiledFile("chm_hhp.chm")](const host::ToolCommand& c) {
                during = stateOf(w) + (w.close() ? ",closed" : "");
                return compile(c);
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
        QTest::addColumn<bool>("deleteFiles");
        QTest::newRow("files deleted") << true;
        QTest::newRow("files kept") << false;
    }
    void anHhpCompileEndsInHtmlMode() {
        QFETCH(bool, deleteFiles);
        f->temp.write("proj/my.hhp", "[OPTIONS]\r\nCompiled file=my.chm\r\n[FILES]\r\np.htm\r\n");
        frmMain& w = f->open(f->pages());
        openProject(f->temp.str("proj/my.hhp"));
        f->tools.behaviour = writesCompiledFile("my.chm");
        f->boxes.answers = {host::MessageAnswer::Yes,
                            deleteFiles ? host::MessageAnswer::Yes : host::MessageAnswer::No};
        w.mnuOpeCompile->trigger();
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(w.List1->count(), deleteFiles ? 0 : 1);
        // With the list emptied the switch leaves the build commands off.
        QCOMPARE(buildCommands(w), deleteFiles ? kOff : kOn);
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

    void aboutTextsShowWholeAndTheAddressOpensAMailMessageEveryTime() {
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (QLabel* label : {box.lblTitle, box.Label1, box.Label3, box.lblVersion, box.Label2}) {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QVERIFY(label->geometry().right() < box.width());
        }
        f->desktop.answer = false; // no mail program: nothing shows, the box stays
        QTest::mouseClick(box.lblVersion, Qt::LeftButton);
        QTest::mouseClick(box.lblVersion, Qt::LeftButton);
        QCOMPARE(f->desktop.urls, (Strings{"mailto:quorlin@example.com?subject=",
                                           "mailto:quorlin@example.com?subject="}));
        QVERIFY(box.isVisible());
    }

    void aboutClosesOnOkEnterAndEscape_data() {
        QTest::addColumn<int>("key"); // 0: a click on OK
        QTest::newRow("click") << 0;
        QTest::newRow("enter") << int(Qt::Key_Return);
        QTest::newRow("escape") << int(Qt::Key_Escape);
    }
    void aboutClosesOnOkEnterAndEscape() {
        QFETCH(int, key);
        frmAbout box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        if (key == 0) {
            QTest::mouseClick(box.cmdOK, Qt::LeftButton);
        } else {
            QTest::keyClick(&box, Qt::Key(key));
        }
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
