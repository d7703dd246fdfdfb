// The main window: its start-up state, the drive/folder/page chain, the two modes and the
// enabling rule of the build commands, and the commands of the menu and the toolbar.
#include "folder_list.h"
#include "twips.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using fixture::itemsOf;
using fixture::pageWithTitle;

namespace {

// The four build commands, in the order the enabling rule sets them.
QList<bool> buildCommands(const frmMain& w) {
    return {w.mnuOpeMakeContIndex->isEnabled(), w.mnuOpeCompile->isEnabled(),
            w.toolbarButton(5)->isEnabled(), w.toolbarButton(6)->isEnabled()};
}
const QList<bool> kOn{true, true, true, true};
const QList<bool> kOff{false, false, false, false};

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
    std::string project(const std::string& folder, const Strings& files) {
        std::string text = "Contents file=t.hhc\r\nIndex file=t.hhk\r\n[FILES]\r\n";
        for (const auto& file : files) {
            text += file + "\r\n";
        }
        f->temp.write(folder + "/t.hhp", text);
        return f->temp.str(folder + "/t.hhp");
    }
    void openProject(const std::string& path) {
        f->dialogs.answers.push_back(path);
        f->window->mnuFileOpen->trigger();
    }

private slots:
    void init() { f = std::make_unique<fixture::WindowFixture>(); }
    void cleanup() { f.reset(); }

    void startsInHtmlModeWithTheFolderItWasStartedIn() {
        for (const char* name : {"index.html", "b.htm", "A.HTM", "notes.txt", ".hidden.htm"}) {
            f->temp.write(std::string("pages/") + name, pageWithTitle("t"));
        }
        fs::create_directories(f->pages() / "sub");
        frmMain& w = f->open(f->pages());
        QCOMPARE(modProject::AppFolder, f->appFolder);
        QCOMPARE(itemsOf(w.File1), (QStringList{"A.HTM", "b.htm", "index.html"}));
        QCOMPARE(buildCommands(w), kOn);
        QVERIFY(w.modeHtml->isChecked() && !w.modeHhp->isChecked());
        QVERIFY(w.Picture2->y() >= w.centralWidget()->height()); // parked out of sight
        // The folder list shows the way down from the drive's root, then the sub-folders.
        QCOMPARE(FolderList::folderOf(w.Dir1->currentItem()), f->pages().string());
        QCOMPARE(FolderList::folderOf(w.Dir1->item(w.Dir1->count() - 1)),
                 (f->pages() / "sub").string());
        QVERIFY(f->boxes.requests.empty());
    }

    void programFolderGetsOneTrailingSeparator() {
        f->open(f->pages(), "/");
        QCOMPARE(modProject::AppFolder, std::string("/"));
        f->open(f->pages(), "/opt/tools");
        QCOMPARE(modProject::AppFolder, std::string("/opt/tools/"));
    }

    void aFolderWithoutPagesLeavesOnlyTheBuildCommandsOff() {
        f->temp.write("pages/readme.txt");
        frmMain& w = f->open(f->pages());
        QCOMPARE(buildCommands(w), kOff);
        QVERIFY(w.toolbarButton(3)->isEnabled() && w.toolbarButton(8)->isEnabled());
        QVERIFY(w.men_dc->isEnabled());
    }

    void altFOpensTheFileMenuNotThePageList() {
        frmMain& w = f->shown(f->pages());
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(w.mnuFile->isVisible());
    }

    void folderAndDriveChangesListPagesAndApplyTheRule() {
        f->temp.write("pages/sub/one.htm", pageWithTitle("一"));
        fs::create_directories(f->pages() / "empty");
        frmMain& w = f->shown(f->pages());
        enterFolder(w, f->pages() / "sub");
        QCOMPARE(itemsOf(w.File1), QStringList{"one.htm"});
        QCOMPARE(buildCommands(w), kOn);
        enterFolder(w, f->pages());
        enterFolder(w, f->pages() / "empty");
        QCOMPARE(buildCommands(w), kOff);

        // Re-picking the drive already chosen keeps the folder.
        enterFolder(w, f->pages());
        enterFolder(w, f->pages() / "sub");
        pickDrive(w, w.Drive1->currentText());
        QCOMPARE(w.Dir1->path(), (f->pages() / "sub").string());
        QCOMPARE(buildCommands(w), kOn);
        // Another drive moves the folder list to its root, and the page list follows.
        pickDrive(w, QStringLiteral("/"));
        QCOMPARE(w.Dir1->path(), std::string("/"));
        QVERIFY(f->boxes.requests.empty());
    }

    void anUnreadableFolderOrDriveIsReportedAndTheListsStay() {
        f->temp.write("pages/a.htm", pageWithTitle("甲"));
        fs::create_directories(f->pages() / "locked");
        frmMain& w = f->shown(f->pages());
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
        QCOMPARE(itemsOf(w.File1), QStringList{"a.htm"});
        QCOMPARE(buildCommands(w), kOn);
    }

    void anUnreadableStartFolderLeavesNothingToBuild() {
        f->temp.write("pages/a.htm", pageWithTitle("甲"));
        f->files.failList = {f->pages().string()};
        frmMain& w = f->open(f->pages());
        QCOMPARE(f->boxes.texts().size(), std::size_t{1});
        QCOMPARE(w.Dir1->path(), f->pages().string());
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommands(w), kOff);
    }

    void theModeSwitchAlwaysFlipsAndConsultsOnlyTheProjectList() {
        f->temp.write("pages/a.htm", pageWithTitle("甲"));
        frmMain& w = f->open(f->pages());
        w.modeHhp->trigger(); // no project yet: List1 is empty
        QVERIFY(w.modeHhp->isChecked() && !w.modeHtml->isChecked());
        QCOMPARE(w.Picture2->y(), layout::twips(480));
        QCOMPARE(buildCommands(w), kOff);
        w.modeHhp->trigger(); // the checked item switches back
        QVERIFY(w.modeHtml->isChecked() && !w.modeHhp->isChecked());
        QCOMPARE(w.Picture1->y(), layout::twips(480));
        QCOMPARE(w.Picture2->y(), layout::twips(43200));
        QCOMPARE(buildCommands(w), kOff); // the pages show, but only List1 counted
        w.modeHtml->trigger();
        QVERIFY(w.modeHhp->isChecked());
    }

    void openingAProjectSwitchesToHhpMode_data() {
        fixture::yesNoRows("hhpFirst", "already in HHP mode", "from HTML mode");
    }
    void openingAProjectSwitchesToHhpMode() {
        QFETCH(bool, hhpFirst);
        frmMain& w = f->open(f->pages()); // no pages: commands off
        if (hhpFirst) {
            w.modeHhp->trigger();
        }
        const std::string first = project("one", {"a.htm", "sub\\b.htm"});
        openProject(first);
        QCOMPARE(f->dialogs.requests[0].filter, std::string("工程文件 (*.hhp)|*.hhp"));
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "sub\\b.htm"}));
        QCOMPARE(buildCommands(w), kOn);
        QCOMPARE(modProject::CurrentProject.ProjectFile, first);

        const std::string second = project("two", {"c.htm"});
        openProject(second);
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"c.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, second);
        w.modeHtml->trigger(); // the commands stay on from List1, though no page shows
        QCOMPARE(buildCommands(w), kOn);
    }

    void reopeningTheCurrentProjectDoesNothingButOtherCaseIsAnother() {
        frmMain& w = f->open(f->pages());
        const std::string path = project("one", {"a.htm"});
        openProject(path);
        project("one", {"changed.htm"});
        openProject(path);
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"});
        fs::rename(f->temp / "one/t.hhp", f->temp / "one/T.hhp");
        openProject(f->temp.str("one/T.hhp"));
        QCOMPARE(itemsOf(w.List1), QStringList{"changed.htm"});
    }

    void aRefusedOrCancelledOpenChangesNothing() {
        frmMain& w = f->open(f->pages());
        const std::string good = project("one", {"a.htm"});
        openProject(good);
        w.modeHtml->trigger();
        openProject(project("bad", {"b.htm", "..\\outside.htm"}));
        QCOMPARE(f->boxes.texts(), Strings{"文件打开失败，可能是语法有误，系统暂不能处理!!"});
        f->dialogs.answers = {std::nullopt, std::string()};
        w.mnuFileOpen->trigger();
        w.mnuFileOpen->trigger();
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, good);
        QCOMPARE(buildCommands(w), kOn);
    }

    // One table for the toolbar: each button runs its menu command, other keys nothing.
    void theToolbarRunsTheMenuCommands() {
        f->temp.write("pages/a.htm", pageWithTitle("甲"));
        frmMain& w = f->open(f->pages());
        w.toolbarButton(3)->trigger();
        QCOMPARE(f->dialogs.requests.size(), std::size_t{1});
        w.toolbarButton(5)->trigger();
        QCOMPARE(modProject::BuildAction, std::optional<int>(1));
        w.toolbarButton(6)->trigger();
        QCOMPARE(modProject::BuildAction, std::optional<int>(2));
        const std::size_t calls = f->tools.calls.size();
        w.toolbarButton(8)->trigger();
        QCOMPARE(f->tools.calls.size(), calls + 1);
        QCOMPARE(f->tools.calls.back().command.arguments, std::string("help.chm"));

        QAction stranger;
        stranger.setProperty("Key", QStringLiteral("打开 "));
        w.tbToolBar_ButtonClick(&stranger);
        w.tbToolBar_ButtonClick(w.toolbarButton(1)); // a separator has no key
        QCOMPARE(f->dialogs.requests.size(), std::size_t{1});
        QCOMPARE(f->tools.calls.size(), calls + 1);
    }

    void helpStartsTheViewerFromTheProgramFolder() {
        f->open(f->pages()).mnuHelpContents->trigger();
        QCOMPARE(f->journal.entries,
                 (Strings{"cd app/ [就绪]", "start app/hh.exe help.chm in app/ [就绪]"}));
        QCOMPARE(f->tools.calls[0].command.window, host::WindowKind::NormalFocus);
        QVERIFY(!f->tools.calls[0].waited);
        QCOMPARE(fs::current_path(), f->temp / "app");
    }

    void helpThatCannotStartSaysWhy() {
        frmMain& w = f->open(f->pages());
        f->tools.failToStart = {"hh.exe"};
        w.mnuHelpContents->trigger();
        f->files.failChdir = {"app"};
        w.mnuHelpContents->trigger();
        QCOMPARE(f->boxes.texts(), (Strings{"无法启动 " + f->appFolder + "hh.exe：模拟的故障",
                                            "无法进入程序所在的文件夹 " + f->appFolder}));
    }

    void aboutAndDecompileOpenModallyOverTheWindow() {
        frmMain& w = f->shown(f->pages());
        QStringList seen;
        auto record = [&] {
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog != nullptr && dialog->parentWidget() == &w);
                seen << dialog->objectName();
                dialog->reject();
            });
        };
        record();
        w.mnuHelpAbout->trigger();
        record();
        w.men_dc->trigger();
        QCOMPARE(seen, (QStringList{"frmAbout", "frmdecompile"}));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
