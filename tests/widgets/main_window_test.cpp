// The main window: its start-up state, the drive/folder/page chain, the two modes and the
// enabling rule of the build commands, and every command from the menu and the toolbar.
#include "folder_list.h"
#include "frmAbout.h"
#include "twips.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

using fixture::write;
using layout::twipRect;
using layout::twips;

namespace {

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text();
    }
    return items;
}

// The four build commands, in the order the enabling rule sets them.
QList<bool> buildCommandsEnabled(const frmMain& w) {
    return {w.mnuOpeMakeContIndex->isEnabled(), w.mnuOpeCompile->isEnabled(),
            w.toolbarButton(5)->isEnabled(), w.toolbarButton(6)->isEnabled()};
}
const QList<bool> kEnabled{true, true, true, true};
const QList<bool> kDisabled{false, false, false, false};

// Activates the folder list's entry for folder, as Enter (or a double-click) does.
void enterFolder(frmMain& w, const fs::path& folder) {
    if (!w.isVisible()) {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    for (int i = 0; i < w.Dir1->count(); ++i) {
        QListWidgetItem* item = w.Dir1->item(i);
        if (FolderList::folderOf(item) == folder.string()) {
            w.Dir1->setCurrentItem(item);
            QTest::keyClick(w.Dir1, Qt::Key_Return);
            return;
        }
    }
    QFAIL(("no folder list entry for " + folder.string()).c_str());
}

// Picks drive from the drive list's pop-up with Enter, as the user does.
void pickDrive(frmMain& w, const QString& drive) {
    const int index = w.Drive1->findText(drive);
    QVERIFY(index >= 0);
    w.Drive1->showPopup();
    QAbstractItemView* popup = w.Drive1->view();
    QTRY_VERIFY(popup->isVisible());
    popup->setCurrentIndex(popup->model()->index(index, 0));
    QTest::keyClick(popup, Qt::Key_Return);
    QTRY_VERIFY(!popup->isVisible());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    fixture::WindowFixture f;

    void addPages() {
        write(f.pages() / "index.html", fixture::pageWithTitle("首页"));
        write(f.pages() / "b.htm", fixture::pageWithTitle("乙"));
        write(f.pages() / "A.HTM", fixture::pageWithTitle("甲"));
        write(f.pages() / "notes.txt", "not a page");
        write(f.pages() / ".hidden.htm", fixture::pageWithTitle("hidden"));
    }
    // A project in its own folder listing pages.
    std::string project(const std::string& folder, const std::vector<std::string>& files) {
        std::string text =
            "[OPTIONS]\r\nContents file=t.hhc\r\nIndex file=t.hhk\r\n\r\n[FILES]\r\n";
        for (const auto& file : files) {
            text += file + "\r\n";
        }
        const fs::path path = f.root() / folder / "t.hhp";
        write(path, text);
        return path.string();
    }
    void openProject(const std::string& path) {
        f.dialogs->answers.push_back(path);
        f.window->mnuFileOpen->trigger();
    }

private slots:
    void init() { f.setUp(QTest::currentTestFunction()); }
    void cleanup() { f.tearDown(); }

    void startsInHtmlModeWithTheFolderItWasStartedIn() {
        addPages();
        frmMain& w = f.open(f.pages());
        QCOMPARE(w.windowTitle(), QStringLiteral("CHM Quorlin V1.1"));
        QCOMPARE(modProject::AppFolder, f.appFolder());
        QCOMPARE(w.Dir1->path(), f.pages().string());
        QCOMPARE(itemsOf(w.File1), (QStringList{"A.HTM", "b.htm", "index.html"}));
        QCOMPARE(buildCommandsEnabled(w), kEnabled);
        QCOMPARE(w.statusText(), QStringLiteral("就绪"));
        QCOMPARE(w.Text1->text(), QStringLiteral("CHM 文件@CHMQuorlin@ quorlin@example.com"));
        QCOMPARE(w.List1->count(), 0);
        QVERIFY(w.modeHtml->isChecked());
        QVERIFY(!w.modeHhp->isChecked());
        QCOMPARE(w.Picture1->geometry(), twipRect(120, 480, 4455, 3975));
        QCOMPARE(w.Picture2->geometry(), twipRect(120, 4830, 4455, 3735));
        QVERIFY(w.Picture2->y() >= w.centralWidget()->height()); // parked out of sight
        QVERIFY(f.journal.entries.empty());
        QVERIFY(f.boxes->requests.empty());

        // The drive list holds the mounted volumes and shows the one of the folder.
        QVERIFY(w.Drive1->count() >= 1);
        QVERIFY(f.pages().string().rfind(w.Drive1->currentText().toStdString(), 0) == 0);
        // The folder list shows the way down to the folder, then its sub-folders.
        fs::create_directories(f.pages() / "sub");
        w.Dir1->setPath(f.pages().string(), "/");
        QCOMPARE(w.Dir1->item(0)->text().trimmed(), QStringLiteral("/"));
        QCOMPARE(FolderList::folderOf(w.Dir1->currentItem()), f.pages().string());
        QCOMPARE(FolderList::folderOf(w.Dir1->item(w.Dir1->count() - 1)),
                 (f.pages() / "sub").string());
    }

    void startsWithTheBuildCommandsDisabledInAFolderWithoutPages() {
        write(f.pages() / "readme.txt", "text");
        frmMain& w = f.open(f.pages());
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommandsEnabled(w), kDisabled);
        // Never touched by the rule:
        QVERIFY(w.toolbarButton(3)->isEnabled());
        QVERIFY(w.toolbarButton(8)->isEnabled());
        QVERIFY(w.men_dc->isEnabled());
    }

    void programFolderGetsOneTrailingSeparator_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("folder") << "/opt/tools"
                                << "/opt/tools/";
        QTest::newRow("with separator") << "/opt/tools/"
                                        << "/opt/tools/";
    }
    void programFolderGetsOneTrailingSeparator() {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        fs::current_path(f.pages());
        frmMain w(folder.toStdString());
        QCOMPARE(QString::fromStdString(modProject::AppFolder), expected);
    }

    void controlsCarryTheirNamesCaptionsAndBounds() {
        frmMain& w = f.open(f.pages());
        for (const char* name : {"tbToolBar", "Label1", "Label2", "Label3", "Label4", "Drive1",
                                 "Dir1", "File1", "Text1", "List1", "Picture1", "Picture2",
                                 "sbStatusBar", "mnuFile", "mnuOperate", "mode", "mnuHelp"}) {
            QVERIFY2(w.findChild<QObject*>(QString::fromLatin1(name)) != nullptr, name);
        }
        QCOMPARE(w.Label2->text(), QStringLiteral("驱动器(&D)"));
        QCOMPARE(w.Label3->text(), QStringLiteral("目录(&R)"));
        QCOMPARE(w.Label1->text(), QStringLiteral("Html 文件(&F)"));
        QCOMPARE(w.Label4->text(), QStringLiteral("CHM文件标题(&T)"));
        QCOMPARE(w.Label2->buddy(), w.Drive1);
        QCOMPARE(w.Label3->buddy(), w.Dir1);
        QCOMPARE(w.Label4->buddy(), w.Text1);
        QCOMPARE(w.centralWidget()->size(), QSize(twips(4740), twips(4755)));
        QCOMPARE(w.tbToolBar->geometry(), twipRect(0, 0, 4740, 420));
        QCOMPARE(w.sbStatusBar->geometry(), twipRect(0, 4485, 4740, 270));
        QCOMPARE(w.File1->geometry(), twipRect(2100, 915, 2190, 2820));
        QCOMPARE(w.Dir1->geometry(), twipRect(120, 830, 1900, 3030));
        QCOMPARE(w.List1->geometry(), twipRect(120, 120, 4160, 3375));
        QCOMPARE(w.List1->parentWidget(), w.Picture2);
        QCOMPARE(w.File1->parentWidget(), w.Picture1);

        // The menu tree, in order; separators are "-".
        QStringList tree;
        for (QAction* top : w.menuBar()->actions()) {
            tree << top->text();
            for (QAction* item : top->menu()->actions()) {
                tree << "  " + (item->isSeparator() ? QStringLiteral("-") : item->text()) + " " +
                            item->objectName();
            }
        }
        QCOMPARE(tree,
                 (QStringList{"文件(&F)", "  打开(&O)... mnuFileOpen", "  - mnuFileBar0",
                              "  退出(&X) mnuFileExit", "操作(&O)",
                              "  编写目录、索引 mnuOpeMakeContIndex", "  编 译 工 程 mnuOpeCompile",
                              "  反编译CHM文件 men_dc", "系统模式(&M)", "  HTML-->CHM modeHtml",
                              "  HHP--->CHM modeHhp", "帮助(&H)", "  目录(&C) mnuHelpContents",
                              "  - mnuHelpBar0", "  关于(&A)  mnuHelpAbout"}));

        // The toolbar: separators count as positions.
        QStringList buttons;
        for (QAction* b : w.tbToolBar->actions()) {
            buttons << (b->isSeparator()
                            ? QStringLiteral("-")
                            : b->property("Key").toString() + "|" + b->toolTip() + "|" +
                                  b->property("ImageKey").toString() + "|" + b->text());
        }
        QCOMPARE(buttons,
                 (QStringList{"-", "-", "打开|打开工程|Open|", "-", "编写|编写目录、索引|Save|",
                              "编译|编译工程|Compile|", "-", "帮助|帮助|Help|"}));
        QStringList imageKeys;
        for (const auto& image : w.imlToolbarIcons) {
            imageKeys << image.key;
            QVERIFY(!image.image.isNull());
        }
        QCOMPARE(imageKeys, (QStringList{"Open", "Save", "Forward", "Help", "Compile", ""}));

        // The clock panel shows the time of day.
        const auto* clock = w.sbStatusBar->findChild<QLabel*>(QStringLiteral("sbStatusBarTime"));
        QVERIFY(clock != nullptr);
        QVERIFY(QTime::fromString(clock->text(), QStringLiteral("HH:mm")).isValid());
    }

    void altFOpensTheFileMenu() {
        frmMain& w = f.open(f.pages());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(w.mnuFile->isVisible());
        w.mnuFile->close();
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(w.mnuFile->isVisible());
        w.mnuFile->close();
    }

    void folderChangesListPagesAndApplyTheRule() {
        fs::create_directories(f.pages() / "empty");
        write(f.pages() / "sub" / "one.htm", fixture::pageWithTitle("一"));
        frmMain& w = f.open(f.pages());
        QCOMPARE(buildCommandsEnabled(w), kDisabled);

        enterFolder(w, f.pages() / "sub");
        QCOMPARE(w.Dir1->path(), (f.pages() / "sub").string());
        QCOMPARE(itemsOf(w.File1), QStringList{"one.htm"});
        QCOMPARE(buildCommandsEnabled(w), kEnabled);

        enterFolder(w, f.pages());
        enterFolder(w, f.pages() / "empty");
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommandsEnabled(w), kDisabled);

        // Picking the drive already chosen changes nothing.
        enterFolder(w, f.pages());
        enterFolder(w, f.pages() / "sub");
        pickDrive(w, w.Drive1->currentText());
        QCOMPARE(w.Dir1->path(), (f.pages() / "sub").string());
        QCOMPARE(itemsOf(w.File1), QStringList{"one.htm"});
        QCOMPARE(buildCommandsEnabled(w), kEnabled);

        // Choosing another drive moves the folder list to its root, and the page list follows.
        pickDrive(w, QStringLiteral("/"));
        QCOMPARE(w.Dir1->path(), std::string("/"));
        QCOMPARE(w.Dir1->count() > 1, true);
        QVERIFY(f.boxes->requests.empty());
    }

    void anUnreadableFolderIsReportedAndTheListsStay() {
        write(f.pages() / "a.htm", fixture::pageWithTitle("甲"));
        fs::create_directories(f.pages() / "locked");
        frmMain& w = f.open(f.pages());
        f.files->failList = {"locked"};

        enterFolder(w, f.pages() / "locked");
        QCOMPARE(f.boxes->texts().size(), std::size_t{1});
        QVERIFY(f.boxes->texts()[0].starts_with(
            "无法读取文件夹 " + (f.pages() / "locked").string() + "：没有读取权限（"));
        QCOMPARE(f.boxes->requests[0].buttons, host::MessageButtons::Ok);
        QCOMPARE(w.Dir1->path(), f.pages().string());
        QCOMPARE(itemsOf(w.File1), QStringList{"a.htm"});
        QCOMPARE(buildCommandsEnabled(w), kEnabled);

        // A drive that cannot be read: the drive list goes back to the folder's drive.
        f.files->failList = {"/"};
        const QString before = w.Drive1->currentText();
        pickDrive(w, QStringLiteral("/"));
        QCOMPARE(f.boxes->requests.size(), std::size_t{2});
        QCOMPARE(w.Dir1->path(), f.pages().string());
        QCOMPARE(w.Drive1->currentText(), before);
        QCOMPARE(itemsOf(w.File1), QStringList{"a.htm"});
    }

    void anUnreadableStartFolderLeavesNothingToBuild() {
        write(f.pages() / "a.htm", fixture::pageWithTitle("甲"));
        f.files->failList = {f.pages().string()};
        frmMain& w = f.open(f.pages());
        QCOMPARE(f.boxes->texts().size(), std::size_t{1});
        QVERIFY(f.boxes->texts()[0].starts_with("无法读取文件夹 " + f.pages().string() +
                                                "：没有读取权限（"));
        QCOMPARE(w.Dir1->path(), f.pages().string());
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommandsEnabled(w), kDisabled);
    }

    void theModeSwitchAlwaysFlipsAndConsultsOnlyTheProjectList() {
        addPages();
        frmMain& w = f.open(f.pages());
        QCOMPARE(buildCommandsEnabled(w), kEnabled);

        // Into HHP mode before any project: List1 is empty.
        w.modeHhp->trigger();
        QVERIFY(w.modeHhp->isChecked());
        QVERIFY(!w.modeHtml->isChecked());
        QCOMPARE(w.Picture2->y(), twips(480));
        QCOMPARE(w.Picture1->y(), twips(43200));
        QCOMPARE(buildCommandsEnabled(w), kDisabled);

        // Back: the pages show, but the rule looked at List1 only.
        w.modeHhp->trigger(); // the checked item flips too
        QVERIFY(w.modeHtml->isChecked());
        QVERIFY(!w.modeHhp->isChecked());
        QCOMPARE(w.Picture1->y(), twips(480));
        QCOMPARE(w.Picture2->y(), twips(43200));
        QCOMPARE(buildCommandsEnabled(w), kDisabled);

        // "HTML-->CHM" chosen in HTML mode switches to HHP mode as well.
        w.modeHtml->trigger();
        QVERIFY(w.modeHhp->isChecked());
        w.modeHtml->trigger();
        QVERIFY(w.modeHtml->isChecked());

        // The next folder change looks at the pages again.
        enterFolder(w, f.pages().parent_path());
        enterFolder(w, f.pages());
        QCOMPARE(buildCommandsEnabled(w), kEnabled);
    }

    void openingAProjectSwitchesToHhpModeAndListsItsPages_data() {
        QTest::addColumn<bool>("viaToolbar");
        QTest::addColumn<bool>("hhpFirst");
        QTest::newRow("menu, from HTML mode") << false << false;
        QTest::newRow("toolbar, from HTML mode") << true << false;
        QTest::newRow("menu, already in HHP mode") << false << true;
    }
    void openingAProjectSwitchesToHhpModeAndListsItsPages() {
        QFETCH(bool, viaToolbar);
        QFETCH(bool, hhpFirst);
        frmMain& w = f.open(f.pages()); // no pages: commands disabled
        if (hhpFirst) {
            w.modeHhp->trigger();
        }
        const std::string first = project("one", {"a.htm", "sub\\b.htm"});
        f.dialogs->answers.push_back(first);
        if (viaToolbar) {
            w.toolbarButton(3)->trigger();
        } else {
            w.mnuFileOpen->trigger();
        }
        QCOMPARE(f.dialogs->requests.size(), std::size_t{1});
        QCOMPARE(f.dialogs->requests[0].title, std::string("打开"));
        QCOMPARE(f.dialogs->requests[0].filter, std::string("工程文件 (*.hhp)|*.hhp"));
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(w.Picture2->y(), twips(480));
        QCOMPARE(itemsOf(w.List1), (QStringList{"a.htm", "sub\\b.htm"}));
        QCOMPARE(buildCommandsEnabled(w), kEnabled);
        QCOMPARE(modProject::CurrentProject.ProjectFile, first);

        // A second project replaces the list and becomes the current one.
        const std::string second = project("two", {"c.htm"});
        openProject(second);
        QVERIFY(w.modeHhp->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"c.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, second);

        // Back in HTML mode, the commands stay enabled from List1, though no page shows.
        w.modeHtml->trigger();
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(w.File1->count(), 0);
        QCOMPARE(buildCommandsEnabled(w), kEnabled);
        QVERIFY(f.boxes->requests.empty());

        // For a look at both modes: QUORLIN_SCREENSHOT_DIR=folder keeps pictures of them.
        if (const QByteArray folder = qgetenv("QUORLIN_SCREENSHOT_DIR");
            !folder.isEmpty() && !viaToolbar && !hhpFirst) {
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(w.grab().save(QString::fromLocal8Bit(folder) + "/main-html.png"));
            w.modeHhp->trigger();
            QVERIFY(w.grab().save(QString::fromLocal8Bit(folder) + "/main-hhp.png"));
        }
    }

    void reopeningTheCurrentProjectDoesNothing() {
        frmMain& w = f.open(f.pages());
        const std::string path = project("one", {"a.htm"});
        openProject(path);
        project("one", {"changed.htm"});
        openProject(path);
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"}); // not read again

        // Another spelling of the name is another project.
        fs::rename(f.root() / "one" / "t.hhp", f.root() / "one" / "T.hhp");
        openProject((f.root() / "one" / "T.hhp").string());
        QCOMPARE(itemsOf(w.List1), QStringList{"changed.htm"});
    }

    void aRefusedProjectLeavesEverythingAsItWas_data() {
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("entry climbing out of the folder") << false;
        QTest::newRow("file that cannot be read") << true;
    }
    void aRefusedProjectLeavesEverythingAsItWas() {
        QFETCH(bool, unreadable);
        frmMain& w = f.open(f.pages());
        const std::string good = project("one", {"a.htm"});
        openProject(good);
        w.modeHtml->trigger(); // back to HTML mode, commands enabled from List1

        const std::string bad = project("bad", {"b.htm", "..\\outside.htm"});
        if (unreadable) {
            f.files->failOpen = {"bad"};
        }
        openProject(bad);
        QCOMPARE(f.boxes->texts(),
                 std::vector<std::string>{"文件打开失败，可能是语法有误，系统暂不能处理!!"});
        const auto& box = f.boxes->requests[0];
        QCOMPARE(box.buttons, host::MessageButtons::Ok);
        QCOMPARE(box.icon, host::MessageIcon::None);
        QCOMPARE(box.title, std::string());
        QVERIFY(w.modeHtml->isChecked());
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, good);
        QCOMPARE(buildCommandsEnabled(w), kEnabled);
    }

    void cancellingTheOpenDialogChangesNothing() {
        frmMain& w = f.open(f.pages());
        const std::string path = project("one", {"a.htm"});
        openProject(path);
        f.dialogs->answers.push_back(std::nullopt);
        w.toolbarButton(3)->trigger();
        f.dialogs->answers.push_back(std::string());
        w.mnuFileOpen->trigger();
        QCOMPARE(f.dialogs->requests.size(), std::size_t{3});
        QCOMPARE(itemsOf(w.List1), QStringList{"a.htm"});
        QCOMPARE(modProject::CurrentProject.ProjectFile, path);
        QVERIFY(f.boxes->requests.empty());
    }

    void helpStartsTheViewerFromTheProgramFolder_data() {
        QTest::addColumn<bool>("viaToolbar");
        QTest::newRow("menu") << false;
        QTest::newRow("toolbar") << true;
    }
    void helpStartsTheViewerFromTheProgramFolder() {
        QFETCH(bool, viaToolbar);
        frmMain& w = f.open(f.pages());
        (viaToolbar ? w.toolbarButton(8) : w.mnuHelpContents)->trigger();
        QCOMPARE(f.journal.entries,
                 (std::vector<std::string>{"cd app/ [就绪]",
                                           "start app/hh.exe help.chm in app/ [就绪]"}));
        QCOMPARE(f.tools->calls.size(), std::size_t{1});
        const auto& call = f.tools->calls[0];
        QCOMPARE(call.command.program, f.appFolder() + "hh.exe");
        QCOMPARE(call.command.window, host::WindowKind::NormalFocus);
        QVERIFY(!call.waited);
        QCOMPARE(fs::current_path(), f.app());
    }

    void helpThatCannotStartSaysWhy_data() {
        QTest::addColumn<bool>("viaToolbar");
        QTest::addColumn<bool>("folderFails");
        QTest::newRow("menu, viewer") << false << false;
        QTest::newRow("toolbar, viewer") << true << false;
        QTest::newRow("menu, program folder") << false << true;
        QTest::newRow("toolbar, program folder") << true << true;
    }
    void helpThatCannotStartSaysWhy() {
        QFETCH(bool, viaToolbar);
        QFETCH(bool, folderFails);
        frmMain& w = f.open(f.pages());
        if (folderFails) {
            f.files->failChdir = {"app"};
        } else {
            f.tools->failToStart = {"hh.exe"};
        }
        (viaToolbar ? w.toolbarButton(8) : w.mnuHelpContents)->trigger();
        const std::string expected = folderFails
                                         ? "无法进入程序所在的文件夹 " + f.appFolder()
                                         : "无法启动 " + f.appFolder() + "hh.exe：模拟的故障";
        QCOMPARE(f.boxes->texts(), std::vector<std::string>{expected});
        QVERIFY(f.tools->calls.empty());
    }

    void anUnknownToolbarKeyDoesNothing() {
        frmMain& w = f.open(f.pages());
        QAction stranger;
        stranger.setProperty("Key", QStringLiteral("打开 "));
        w.tbToolBar_ButtonClick(&stranger);
        w.tbToolBar_ButtonClick(w.toolbarButton(1)); // a separator has no key
        QVERIFY(f.dialogs->requests.empty());
        QVERIFY(f.tools->calls.empty());
        QVERIFY(f.boxes->requests.empty());
    }

    void aboutAndDecompileOpenModallyOverTheWindow() {
        frmMain& w = f.open(f.pages());
        w.show();
        QString seen;
        fixture::answerNextDialog([&](QWidget* dialog) {
            seen = dialog->objectName() + "|" + dialog->windowTitle();
            QCOMPARE(dialog->parentWidget(), &w);
        });
        w.mnuHelpAbout->trigger();
        QCOMPARE(seen, QStringLiteral("frmAbout|关于 CHM Quorlin"));

        seen.clear();
        fixture::answerNextDialog([&](QWidget* dialog) {
            seen = QStringLiteral("modal");
            QVERIFY(dialog->isModal());
            QCOMPARE(dialog->parentWidget(), &w);
        });
        w.men_dc->trigger();
        QCOMPARE(seen, QStringLiteral("modal"));
        QTRY_VERIFY(QApplication::topLevelWidgets().size() >= 1);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            QVERIFY(!qobject_cast<QDialog*>(top) || !top->isVisible());
        }
    }

    void exitClosesTheWindow() {
        frmMain& w = f.open(f.pages());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.mnuFileExit->trigger();
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
