// The decompile dialog, driven through its handlers with stand-ins for the message boxes, the
// open-file dialog, the decompiler and the file browser. A stand-in decompiler writes files
// where a real one would, so the dialog's success check sees real folders.
#include "Module1.h"
#include "faulty_file_system.h"
#include "frmdecompile.h"
#include "modProject.h"
#include "modal_answer.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "recording_message_boxes.h"
#include "recording_services.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

using host::testing::RecordingDesktopServices;
using host::testing::RecordingMessageBoxes;
using host::testing::RecordingToolRunner;
using host::testing::ScriptedFileDialogs;

namespace {

const std::string kRefusal = "请选择文件和指定文件目录!!";
const std::string kSuccess = "恭喜！反编译成功。";

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

} // namespace

class DecompileDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_temp->isValid());
        m_root = m_temp->path();
        QDir().mkpath(m_root + QStringLiteral("/app"));
        QDir().mkpath(m_root + QStringLiteral("/out"));
        modProject::AppFolder = (m_root + QStringLiteral("/app/")).toStdString();
        m_savedFolder = QDir::currentPath();
        m_boxes = std::make_unique<RecordingMessageBoxes>();
        m_tools = std::make_unique<RecordingToolRunner>();
        m_desktop = std::make_unique<RecordingDesktopServices>();
        m_dialogs = std::make_unique<ScriptedFileDialogs>();
        m_boxScope = std::make_unique<host::ScopedMessageBoxes>(*m_boxes);
        m_serviceScope =
            std::make_unique<host::ScopedServices>(m_tools.get(), m_desktop.get(), m_dialogs.get());
        // By default the stand-in decompiler writes two pages into the folder it was asked
        // for: the working folder joined with the name after "-decompile ".
        m_tools->behaviour = [this](const host::ToolCommand& c) {
            const QString into = QString::fromStdString(c.workingFolder) + '/' + m_expectedBase;
            writeFile(into + QStringLiteral("/index.htm"));
            writeFile(into + QStringLiteral("/sub/page.htm"));
            return host::ToolOutcome{true, 0, "written"};
        };
        m_expectedBase = QStringLiteral("manual");
        m_dialog = std::make_unique<frmdecompile>();
    }

    void cleanup() {
        m_dialog.reset();
        m_serviceScope.reset();
        m_boxScope.reset();
        QDir::setCurrent(m_savedFolder);
        m_temp.reset();
    }

    void layoutAndCaptions() {
        frmdecompile& d = *m_dialog;
        QCOMPARE(d.windowTitle(), QStringLiteral("反编译 CHM文件"));
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("CHM文件："));
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("文  件  夹："));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Command1"))->text(),
                 QStringLiteral("..."));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Command2"))->text(),
                 QStringLiteral("..."));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Command3"))->text(),
                 QStringLiteral("反编译"));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("Command4"))->text(),
                 QStringLiteral("取 消"));
        QVERIFY(d.Command3->isDefault());
        QVERIFY(d.findChild<QFrame*>(QStringLiteral("Line1")) != nullptr);
        QVERIFY(d.Text1->text().isEmpty() && d.Text2->text().isEmpty());
        QCOMPARE(d.Text1->font().pointSizeF(), 9.75);
        // 15 twips to the pixel at 96 dpi.
        const double scale = d.logicalDpiX() / 96.0;
        QCOMPARE(d.size(), QSize(qRound(288 * scale), qRound(142 * scale)));
        QCOMPARE(d.Text1->geometry(), QRect(qRound(80 * scale), qRound(16 * scale),
                                            qRound(169 * scale), qRound(21 * scale)));
        QCOMPARE(d.Command4->geometry().topLeft(),
                 QPoint(qRound(168 * scale), qRound(104 * scale)));
        QVERIFY(!(d.windowFlags() & Qt::WindowMinMaxButtonsHint));
    }

    void emptyBoxesAreRefused_data() {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("text2");
        QTest::newRow("both empty") << QString() << QString();
        QTest::newRow("no folder") << QStringLiteral("manual.chm") << QString();
        QTest::newRow("no file") << QString() << QStringLiteral("/");
    }
    void emptyBoxesAreRefused() {
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        m_dialog->Text1->setText(text1);
        m_dialog->Text2->setText(text2);
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kRefusal});
        QVERIFY(m_boxes->requests[0].buttons == host::MessageButtons::Ok);
        QVERIFY(m_boxes->requests[0].icon == host::MessageIcon::None);
        QVERIFY(m_tools->calls.empty());
        expectBoxes(text1, text2);
    }

    // Each refusal names what is wrong, starts no tool and leaves both boxes as they were.
    void refusalsSayWhich_data() {
        QTest::addColumn<QString>("fileName"); // created in out/
        QTest::addColumn<QString>("text1");    // relative to the root unless absolute
        QTest::addColumn<QString>("text2");
        QTest::addColumn<QString>("failChdir"); // a folder that cannot be made current
        QTest::addColumn<QString>("expected");  // the start of the message
        QTest::newRow("folder missing") << "m.chm"
                                        << "out/m.chm"
                                        << "nowhere"
                                        << ""
                                        << "输出文件夹不存在";
        QTest::newRow("folder not enterable") << "m.chm"
                                              << "out/m.chm"
                                              << "out"
                                              << "out"
                                              << "无法进入输出文件夹";
        QTest::newRow("file missing") << "m.chm"
                                      << "out/other.chm"
                                      << "out"
                                      << ""
                                      << "找不到CHM文件";
        QTest::newRow("name no longer than .chm") << "abcd"
                                                  << "out/abcd"
                                                  << "out"
                                                  << ""
                                                  << "CHM文件名太短";
        QTest::newRow("name shorter than .chm") << "chm"
                                                << "out/chm"
                                                << "out"
                                                << ""
                                                << "CHM文件名太短";
    }
    void refusalsSayWhich() {
        QFETCH(QString, fileName);
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        QFETCH(QString, failChdir);
        QFETCH(QString, expected);
        writeFile(m_root + "/out/" + fileName);
        host::testing::FaultyFileSystem faulty;
        if (!failChdir.isEmpty()) {
            faulty.failChdir.push_back(failChdir.toStdString());
        }
        host::ScopedFileSystem files(faulty);
        const QString file = m_root + '/' + text1;
        const QString folder = m_root + '/' + text2;
        m_dialog->Text1->setText(file);
        m_dialog->Text2->setText(folder);
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes->requests.size(), std::size_t{1});
        QVERIFY2(m_boxes->texts()[0].starts_with(expected.toStdString()),
                 m_boxes->texts()[0].c_str());
        QVERIFY(m_tools->calls.empty());
        QVERIFY(m_desktop->urls.empty());
        expectBoxes(file, folder);
    }

    void missingDecompilerIsReported() {
        writeFile(m_root + "/out/manual.chm");
        m_tools->failToStart.push_back("hh.exe");
        m_dialog->Text1->setText(m_root + "/out/manual.chm");
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes->requests.size(), std::size_t{1});
        QVERIFY(m_boxes->texts()[0].find(modProject::AppFolder + "hh.exe") != std::string::npos);
        QVERIFY(m_desktop->urls.empty());
        expectBoxes(m_root + "/out/manual.chm", m_root + "/out");
    }

    void successRunsTheToolAndOpensTheTarget() {
        writeFile(m_root + "/in/manual.chm");
        m_dialog->Text1->setText(m_root + "/in/manual.chm");
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();

        QCOMPARE(m_tools->calls.size(), std::size_t{1});
        const auto& call = m_tools->calls[0];
        QVERIFY(call.waited);
        QCOMPARE(call.command.program, modProject::AppFolder + "hh.exe");
        QCOMPARE(call.command.arguments,
                 "-decompile manual " + (m_root + "/in/manual.chm").toStdString());
        QCOMPARE(call.command.workingFolder, (m_root + "/out").toStdString());
        QVERIFY(call.command.window == host::WindowKind::MinimizedFocus);
        // The output folder stays current after the run.
        QCOMPARE(QDir::currentPath(), m_root + "/out");

        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kSuccess});
        QCOMPARE(m_desktop->urls,
                 std::vector<std::string>{fileUrl(m_root + "/out/manual").toStdString()});
        // Ready for the next file at once.
        expectBoxes(QString(), m_root + "/out");
    }

    void baseNameIsTheStoredNameLessItsExtension_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("base");
        QTest::newRow("upper-case extension") << "Manual.CHM"
                                              << "Manual.CHM"
                                              << "Manual";
        QTest::newRow("dots in the name") << "a.b.chm"
                                          << "a.b.chm"
                                          << "a.b";
        QTest::newRow("typed in other case") << "Manual.chm"
                                             << "MANUAL.CHM"
                                             << "Manual";
    }
    void baseNameIsTheStoredNameLessItsExtension() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, base);
        m_expectedBase = base;
        writeFile(m_root + "/in/" + stored);
        m_dialog->Text1->setText(m_root + "/in/" + typed);
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QCOMPARE(m_tools->calls.size(), std::size_t{1});
        QCOMPARE(m_tools->calls[0].command.arguments,
                 ("-decompile " + base + " " + m_root + "/in/" + typed).toStdString());
        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kSuccess});
        QCOMPARE(m_desktop->urls[0], fileUrl(m_root + "/out/" + base).toStdString());
    }

    void trailingSeparatorGivesTheSameTarget() {
        writeFile(m_root + "/out/manual.chm");
        m_dialog->Text1->setText(m_root + "/out/manual.chm");
        m_dialog->Text2->setText(m_root + "/out/");
        m_dialog->Command3_Click();
        QCOMPARE(m_tools->calls[0].command.workingFolder, (m_root + "/out/").toStdString());
        QCOMPARE(m_desktop->urls,
                 std::vector<std::string>{fileUrl(m_root + "/out/manual").toStdString()});
        expectBoxes(QString(), m_root + "/out/");
    }

    void driveRootTarget() {
        const QString root = QDir::rootPath();
        if (!QFileInfo(root).isWritable()) {
            QSKIP("the root folder is not writable here");
        }
        m_expectedBase =
            QStringLiteral("quorlin-decompile-test-%1").arg(QCoreApplication::applicationPid());
        const QString target = root + m_expectedBase;
        writeFile(m_root + "/in/" + m_expectedBase + ".chm");
        m_dialog->Text1->setText(m_root + "/in/" + m_expectedBase + ".chm");
        m_dialog->Text2->setText(root);
        m_dialog->Command3_Click();
        // The stand-in joined the root with the name as a tool would; the dialog must look
        // for the same folder, not for "//name".
        QDir(target).removeRecursively();
        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kSuccess});
        QCOMPARE(m_desktop->urls, std::vector<std::string>{fileUrl(target).toStdString()});
    }

    void relativeHelpFileIsLookedUpInTheOutputFolder() {
        writeFile(m_root + "/out/manual.chm");
        QDir::setCurrent(m_root + "/app"); // somewhere else: the dialog moves to out/
        m_dialog->Text1->setText(QStringLiteral("manual.chm"));
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QCOMPARE(m_tools->calls.size(), std::size_t{1});
        QCOMPARE(m_tools->calls[0].command.arguments, std::string("-decompile manual manual.chm"));
        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kSuccess});
    }

    void relativeOutputFolderIsTakenFromWhereItWas() {
        writeFile(m_root + "/out/manual.chm");
        QDir::setCurrent(m_root);
        m_dialog->Text1->setText(QStringLiteral("manual.chm"));
        m_dialog->Text2->setText(QStringLiteral("out"));
        m_dialog->Command3_Click();
        // Once out/ is current, "out" would name out/out: the tool and the browser get the
        // folder spelled out.
        QCOMPARE(m_tools->calls[0].command.workingFolder, (m_root + "/out").toStdString());
        QCOMPARE(m_desktop->urls,
                 std::vector<std::string>{fileUrl(m_root + "/out/manual").toStdString()});
        expectBoxes(QString(), QStringLiteral("out"));
    }

    void blanksPassUnquoted() {
        m_expectedBase = QStringLiteral("my help");
        writeFile(m_root + "/in dir/my help.chm");
        QDir().mkpath(m_root + "/out dir");
        m_dialog->Text1->setText(m_root + "/in dir/my help.chm");
        m_dialog->Text2->setText(m_root + "/out dir");
        m_dialog->Command3_Click();
        QCOMPARE(m_tools->calls[0].command.arguments,
                 ("-decompile my help " + m_root + "/in dir/my help.chm").toStdString());
        QCOMPARE(m_tools->calls[0].command.workingFolder, (m_root + "/out dir").toStdString());
        QCOMPARE(m_desktop->urls,
                 std::vector<std::string>{fileUrl(m_root + "/out dir/my help").toStdString()});
    }

    // A tool that writes nothing has failed, whatever it returns: the user is told what it
    // said, and both boxes keep their text for another try.
    void toolThatWritesNothingFails_data() {
        QTest::addColumn<bool>("staleTarget"); // the target folder holds an earlier run's files
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no folder, exit 0") << false << 0;
        QTest::newRow("no folder, exit 1") << false << 1;
        QTest::newRow("earlier files only") << true << 0;
    }
    void toolThatWritesNothingFails() {
        QFETCH(bool, staleTarget);
        QFETCH(int, exitCode);
        writeFile(m_root + "/out/manual.chm");
        if (staleTarget) {
            writeFile(m_root + "/out/manual/old.htm");
            QFile old(m_root + "/out/manual/old.htm");
            QVERIFY(old.open(QIODevice::ReadWrite));
            QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                    QFileDevice::FileModificationTime));
        }
        m_tools->behaviour = [exitCode](const host::ToolCommand&) {
            return host::ToolOutcome{true, exitCode, "cannot read manual.chm: bad header"};
        };
        m_dialog->Text1->setText(m_root + "/out/manual.chm");
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes->requests.size(), std::size_t{1});
        QVERIFY(m_boxes->texts()[0] != kSuccess);
        QVERIFY(m_boxes->texts()[0].find("cannot read manual.chm: bad header") !=
                std::string::npos);
        QVERIFY(m_desktop->urls.empty());
        expectBoxes(m_root + "/out/manual.chm", m_root + "/out");
    }

    void rewritingAnEarlierRunCounts() {
        writeFile(m_root + "/out/manual.chm");
        writeFile(m_root + "/out/manual/index.htm", "old");
        QFile old(m_root + "/out/manual/index.htm");
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                QFileDevice::FileModificationTime));
        old.close();
        m_tools->behaviour = [this](const host::ToolCommand&) {
            writeFile(m_root + "/out/manual/index.htm", "old"); // same name, same size
            return host::ToolOutcome{true, 0, {}};
        };
        m_dialog->Text1->setText(m_root + "/out/manual.chm");
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes->texts(), std::vector<std::string>{kSuccess});
    }

    void closeRequestsWaitForTheTool() {
        writeFile(m_root + "/out/manual.chm");
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        bool stillOpen = false;
        auto play = m_tools->behaviour;
        m_tools->behaviour = [&, play](const host::ToolCommand& c) {
            m_dialog->close();
            m_dialog->Command4_Click();
            stillOpen = m_dialog->isVisible();
            return play(c);
        };
        m_dialog->Text1->setText(m_root + "/out/manual.chm");
        m_dialog->Text2->setText(m_root + "/out");
        m_dialog->Command3_Click();
        QVERIFY(stillOpen);
        QVERIFY(m_dialog->isVisible());
        m_dialog->Command4_Click();
        QVERIFY(!m_dialog->isVisible());
    }

    void openFileNamePersistsWithinOneOpening() {
        // Cancel on first use empties the box, even over a typed path.
        m_dialog->Text1->setText(QStringLiteral("typed.chm"));
        m_dialog->Command1_Click();
        QCOMPARE(m_dialog->Text1->text(), QString());
        QCOMPARE(m_dialogs->requests.at(0).title, std::string("打开"));
        QCOMPARE(m_dialogs->requests.at(0).filter, std::string("CHM文件 (*.chm)|*.chm"));

        m_dialogs->answers.push_back(std::string("/docs/first.chm"));
        m_dialog->Command1_Click();
        QCOMPARE(m_dialog->Text1->text(), QStringLiteral("/docs/first.chm"));

        // Cancel now brings back the previous choice, which the dialog also opens on.
        m_dialog->Text1->setText(QStringLiteral("typed.chm"));
        m_dialog->Command1_Click();
        QCOMPARE(m_dialog->Text1->text(), QStringLiteral("/docs/first.chm"));
        QCOMPARE(m_dialogs->requests.at(2).initialFileName, std::string("/docs/first.chm"));

        // A new opening starts afresh.
        frmdecompile fresh;
        fresh.Command1_Click();
        QCOMPARE(fresh.Text1->text(), QString());
    }

    void folderButtonUsesThePicker() {
        const QString picked = m_root + "/out";
        m_dialog->Text1->setText(picked);
        Module1::FolderChooser* seen = nullptr;
        QWidget* owner = nullptr;
        answerModal<Module1::FolderChooser>(
            [&](Module1::FolderChooser& c) {
                seen = &c;
                owner = c.parentWidget();
            },
            [](Module1::FolderChooser& c) { c.accept(); });
        m_dialog->Command2_Click();
        QVERIFY(seen != nullptr);
        QCOMPARE(owner, m_dialog.get());
        QCOMPARE(Module1::BrowseStartFolder, picked.toStdString());
        // The help file box named a folder here, so the picker opened on it and OK took it.
        QCOMPARE(m_dialog->Text2->text(), picked);

        answerModal<Module1::FolderChooser>([](Module1::FolderChooser&) {},
                                            [](Module1::FolderChooser& c) { c.reject(); });
        m_dialog->Text2->setText(QStringLiteral("kept"));
        m_dialog->Command2_Click();
        QCOMPARE(m_dialog->Text2->text(), QStringLiteral("kept"));
    }

    void openingShowsAFreshDialogOverItsOwner() {
        QWidget owner;
        frmdecompile* shown = nullptr;
        QString text1;
        QString afterEscape;
        answerModal<frmdecompile>(
            [&](frmdecompile& d) {
                shown = &d;
                text1 = d.Text1->text();
                d.Text1->setText(QStringLiteral("left behind"));
                d.Text2->setText(QStringLiteral("kept"));
                // Esc is no way out: only "取 消" and the close box close the dialog.
                QTest::keyClick(d.Text1, Qt::Key_Escape);
                afterEscape =
                    (d.isVisible() ? QStringLiteral("open ") : QStringLiteral("closed ")) +
                    d.Text1->text() + '|' + d.Text2->text();
            },
            [](frmdecompile& d) { QTest::mouseClick(d.Command4, Qt::LeftButton); });
        openDecompileDialog(&owner);
        QVERIFY(shown != nullptr);
        QVERIFY(text1.isEmpty());
        QCOMPARE(afterEscape, QStringLiteral("open left behind|kept"));
        QVERIFY(owner.findChildren<frmdecompile*>().isEmpty()); // gone once closed
    }

private:
    void expectBoxes(const QString& text1, const QString& text2) {
        QCOMPARE(m_dialog->Text1->text(), text1);
        QCOMPARE(m_dialog->Text2->text(), text2);
    }

    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_root;
    QString m_savedFolder;
    QString m_expectedBase;
    std::unique_ptr<RecordingMessageBoxes> m_boxes;
    std::unique_ptr<RecordingToolRunner> m_tools;
    std::unique_ptr<RecordingDesktopServices> m_desktop;
    std::unique_ptr<ScriptedFileDialogs> m_dialogs;
    std::unique_ptr<host::ScopedMessageBoxes> m_boxScope;
    std::unique_ptr<host::ScopedServices> m_serviceScope;
    std::unique_ptr<frmdecompile> m_dialog;
};

QTEST_MAIN(DecompileDialogTest)
#include "decompile_dialog_test.moc"
