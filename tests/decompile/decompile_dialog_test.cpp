// The decompile dialog, driven through its handlers with stand-ins for the message boxes, the
// open-file dialog, the decompiler and the file browser. A stand-in decompiler writes files
// where a real one would, so the dialog's success check sees real folders.
#include "Module1.h"
#include "faulty_file_system.h"
#include "frmdecompile.h"
#include "modProject.h"
#include "modal_answer.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const std::string kSuccess = "恭喜！反编译成功。";

struct RefusalRow {
    const char* tag;
    const char* helpFile; // this and the folder below the test's folder
    const char* folder;
    const char* message; // its start
};
const RefusalRow kRefusals[] = {
    {"folder missing", "out/manual.chm", "nowhere", "输出文件夹不存在"},
    {"folder not enterable", "out/manual.chm", "out", "无法进入输出文件夹"},
    {"file missing", "out/other.chm", "out", "找不到CHM文件"},
    {"name no longer than .chm", "out/abcd", "out", "CHM文件名太短"},
    {"no decompiler", "out/manual.chm", "out", "无法启动 "},
};
struct TargetRow {
    const char* tag;
    const char* stored;
    const char* typed;
    const char* folder;
    const char* target;
};
const TargetRow kTargets[] = {
    {"upper-case extension", "Manual.CHM", "Manual.CHM", "out", "out/Manual"},
    {"dots in the name", "a.b.chm", "a.b.chm", "out", "out/a.b"},
    {"typed in other case", "Manual.chm", "MANUAL.CHM", "out", "out/Manual"},
    {"trailing separator", "manual.chm", "manual.chm", "out/", "out/manual"},
    {"blanks, unquoted", "my help.chm", "my help.chm", "out dir", "out dir/my help"},
};

std::string fileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path))
        .toString(QUrl::FullyEncoded)
        .toStdString();
}

} // namespace

class DecompileDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<host::testing::TempFolder> m_temp;
    host::testing::RecordingMessageBoxes m_boxes;
    host::testing::RecordingToolRunner m_tools;
    host::testing::RecordingDesktopServices m_desktop;
    host::testing::ScriptedFileDialogs m_dialogs;
    std::unique_ptr<host::ScopedMessageBoxes> m_boxScope;
    std::unique_ptr<host::ScopedServices> m_serviceScope;
    std::unique_ptr<frmdecompile> m_dialog;
    std::string m_base; // the sub-folder the stand-in decompiler writes into

    std::string at(const std::string& name) const { return m_temp->str(name); }
    void run(const std::string& text1, const std::string& text2) {
        m_dialog->Text1->setText(QString::fromStdString(text1));
        m_dialog->Text2->setText(QString::fromStdString(text2));
        m_dialog->Command3_Click();
    }
    void expectBoxes(const std::string& text1, const std::string& text2) {
        QCOMPARE(m_dialog->Text1->text().toStdString(), text1);
        QCOMPARE(m_dialog->Text2->text().toStdString(), text2);
    }
    // The file's time, days ago: what an earlier run left.
    static void age(const std::string& path) {
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
    }

private slots:
    void init() {
        m_temp = std::make_unique<host::testing::TempFolder>();
        m_temp->write("out/manual.chm");
        fs::create_directories(m_temp->path() / "app");
        modProject::AppFolder = at("app/");
        m_boxes = {};
        m_tools = {};
        m_desktop = {};
        m_dialogs = {};
        m_boxScope = std::make_unique<host::ScopedMessageBoxes>(m_boxes);
        m_serviceScope = std::make_unique<host::ScopedServices>(&m_tools, &m_desktop, &m_dialogs);
        m_base = "manual";
        // The working folder joined with the name after "-decompile ", as a real tool writes.
        m_tools.behaviour = [this](const host::ToolCommand& c) {
            host::testing::writeFile(fs::path(c.workingFolder) / m_base / "index.htm", "x");
            return host::ToolOutcome{true, 0, "written"};
        };
        m_dialog = std::make_unique<frmdecompile>();
    }
    void cleanup() {
        m_dialog.reset();
        m_serviceScope.reset();
        m_boxScope.reset();
        m_temp.reset();
    }

    void oneEmptyBoxIsRefused() {
        run("manual.chm", "");
        run("", "/");
        QCOMPARE(m_boxes.texts(), Strings(2, "请选择文件和指定文件目录!!"));
        QVERIFY(m_tools.calls.empty());
        expectBoxes("", "/");
    }

    // Each refusal names what is wrong, starts no tool and leaves both boxes as they were.
    void refusalsSayWhich_data() {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<QString>("expected"); // the start of the message
        for (const auto& [tag, text1, text2, expected] : kRefusals) {
            QTest::newRow(tag) << text1 << text2 << expected;
        }
    }
    void refusalsSayWhich() {
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        QFETCH(QString, expected);
        m_temp->write("out/abcd");
        host::testing::FaultyFileSystem faulty;
        if (QTest::currentDataTag() == QByteArray("folder not enterable")) {
            faulty.failChdir = {at("out")};
        }
        m_tools.failToStart = {"hh.exe"};
        const host::ScopedFileSystem files(faulty);
        run(at(text1.toStdString()), at(text2.toStdString()));
        QCOMPARE(m_boxes.texts().size(), std::size_t{1});
        QVERIFY2(m_boxes.texts()[0].starts_with(expected.toStdString()),
                 m_boxes.texts()[0].c_str());
        QVERIFY(m_tools.calls.empty() && m_desktop.urls.empty());
        expectBoxes(at(text1.toStdString()), at(text2.toStdString()));
    }

    void successRunsTheToolAndOpensTheTarget() {
        m_temp->write("in/manual.chm");
        run(at("in/manual.chm"), at("out"));
        const auto& call = m_tools.calls.at(0);
        QVERIFY(call.waited);
        QCOMPARE(call.command.program, at("app/hh.exe"));
        QCOMPARE(call.command.arguments, "-decompile manual " + at("in/manual.chm"));
        QCOMPARE(call.command.workingFolder, at("out"));
        QCOMPARE(call.command.window, host::WindowKind::MinimizedFocus);
        QCOMPARE(fs::current_path(), m_temp->path() / "out"); // stays current after the run
        QCOMPARE(m_boxes.texts(), Strings{kSuccess});
        QCOMPARE(m_desktop.urls, Strings{fileUrl(at("out/manual"))});
        expectBoxes("", at("out")); // ready for the next file at once
        QVERIFY(m_dialog->isEnabled() && QApplication::overrideCursor() == nullptr);
    }

    void theTargetIsTheStoredNameLessItsExtension_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("target");
        for (const auto& [tag, stored, typed, folder, target] : kTargets) {
            QTest::newRow(tag) << stored << typed << folder << target;
        }
    }
    void theTargetIsTheStoredNameLessItsExtension() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        QFETCH(QString, target);
        m_base = fs::path(target.toStdString()).filename().string();
        m_temp->write("in/" + stored.toStdString());
        fs::create_directories(m_temp->path() / folder.toStdString());
        const std::string helpFile = at("in/" + typed.toStdString());
        run(helpFile, at(folder.toStdString()));
        QCOMPARE(m_tools.calls.at(0).command.arguments, "-decompile " + m_base + " " + helpFile);
        QCOMPARE(m_boxes.texts(), Strings{kSuccess});
        QCOMPARE(m_desktop.urls, Strings{fileUrl(at(target.toStdString()))});
    }

    void aDriveRootTargetHasOneSeparator() {
        m_base = "quorlin-decompile-test-" + std::to_string(QCoreApplication::applicationPid());
        m_temp->write("in/" + m_base + ".chm");
        run(at("in/" + m_base + ".chm"), "/");
        fs::remove_all("/" + m_base);
        QCOMPARE(m_boxes.texts(), Strings{kSuccess});
        QCOMPARE(m_desktop.urls, Strings{fileUrl("/" + m_base)});
    }

    void relativeNamesAreTakenFromTheOutputFolder() {
        fs::current_path(m_temp->path() / "app"); // the help file is found in out/ all the same
        run("manual.chm", at("out"));
        QCOMPARE(m_tools.calls.at(0).command.arguments,
                 std::string("-decompile manual manual.chm"));
        // Once out/ is current, "out" would name out/out: the tool and the browser get the
        // folder spelled out.
        fs::current_path(m_temp->path());
        run("manual.chm", "out");
        QCOMPARE(m_tools.calls.at(1).command.workingFolder, at("out"));
        QCOMPARE(m_desktop.urls, Strings(2, fileUrl(at("out/manual"))));
    }

    // A tool that writes nothing has failed, whatever it returns: the user is told what it
    // said, and both boxes keep their text for another try. Files of an earlier run that the
    // tool left as they were do not count.
    void aToolThatWritesNothingFails() {
        m_tools.behaviour = [](const host::ToolCommand&) {
            return host::ToolOutcome{true, 1, "cannot read manual.chm: bad header"};
        };
        run(at("out/manual.chm"), at("out"));
        m_temp->write("out/manual/old.htm");
        age(at("out/manual/old.htm"));
        m_dialog->Command3_Click();
        QCOMPARE(m_boxes.texts().size(), std::size_t{2});
        for (const std::string& text : m_boxes.texts()) {
            QVERIFY(text.ends_with("\n\ncannot read manual.chm: bad header"));
        }
        QVERIFY(m_desktop.urls.empty());
        expectBoxes(at("out/manual.chm"), at("out"));
    }

    // File systems that keep coarse times cannot tell a rewrite within the run's second from
    // the file before it: such a file counts as written.
    void aRewriteTheStampsCannotTellCounts() {
        m_temp->write("out/manual/index.htm");
        const auto stamp = fs::last_write_time(m_temp->path() / "out/manual/index.htm");
        m_tools.behaviour = [&](const host::ToolCommand&) {
            m_temp->write("out/manual/index.htm"); // the same name, size and time
            fs::last_write_time(m_temp->path() / "out/manual/index.htm", stamp);
            return host::ToolOutcome{true, 0, {}};
        };
        run(at("out/manual.chm"), at("out"));
        QCOMPARE(m_boxes.texts(), Strings{kSuccess});
    }

    void closeRequestsWaitForTheTool() {
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        bool stillOpen = false;
        auto play = m_tools.behaviour;
        m_tools.behaviour = [&, play](const host::ToolCommand& c) {
            m_dialog->close();
            m_dialog->Command4_Click();
            stillOpen = m_dialog->isVisible();
            return play(c);
        };
        run(at("out/manual.chm"), at("out"));
        QVERIFY(stillOpen && m_dialog->isVisible());
        m_dialog->Command4_Click();
        QVERIFY(!m_dialog->isVisible());
    }

    void theOpenFileNameLastsForOneOpening() {
        m_dialog->Text1->setText(QStringLiteral("typed.chm"));
        m_dialog->Command1_Click(); // cancelled on first use: empty, even over a typed path
        QCOMPARE(m_dialog->Text1->text(), QString());
        QCOMPARE(m_dialogs.requests.at(0).filter, std::string("CHM文件 (*.chm)|*.chm"));
        m_dialogs.answers.push_back(std::string("/docs/first.chm"));
        m_dialog->Command1_Click();
        m_dialog->Text1->setText(QStringLiteral("typed.chm"));
        m_dialog->Command1_Click(); // cancelled: the previous choice, which it also opened on
        QCOMPARE(m_dialog->Text1->text(), QStringLiteral("/docs/first.chm"));
        QCOMPARE(m_dialogs.requests.at(2).initialFileName, std::string("/docs/first.chm"));
    }

    void theFolderButtonUsesThePicker() {
        m_dialog->Text1->setText(QString::fromStdString(at("out")));
        QWidget* owner = nullptr;
        answerModal<Module1::FolderChooser>(
            [&](Module1::FolderChooser& c) { owner = c.parentWidget(); },
            [](Module1::FolderChooser& c) { c.accept(); });
        m_dialog->Command2_Click();
        QCOMPARE(owner, m_dialog.get());
        // The help file box named a folder here, so the picker opened on it and OK took it.
        QCOMPARE(m_dialog->Text2->text().toStdString(), at("out"));
        answerModal<Module1::FolderChooser>([](Module1::FolderChooser&) {},
                                            [](Module1::FolderChooser& c) { c.reject(); });
        m_dialog->Text2->setText(QStringLiteral("kept"));
        m_dialog->Command2_Click();
        QCOMPARE(m_dialog->Text2->text(), QStringLiteral("kept"));
    }

    void eachOpeningIsFreshAndEscDoesNotClose() {
        QWidget owner;
        QString seen;
        answerModal<frmdecompile>(
            [&](frmdecompile& d) {
                seen = d.Text1->text() + '|';
                d.Text1->setText(QStringLiteral("left"));
                QTest::keyClick(d.Text1, Qt::Key_Escape);
                seen += (d.isVisible() ? "open " : "closed ") + d.Text1->text();
            },
            [](frmdecompile& d) { QTest::mouseClick(d.Command4, Qt::LeftButton); });
        openDecompileDialog(&owner);
        QCOMPARE(seen, QStringLiteral("|open left"));
        QVERIFY(owner.findChildren<frmdecompile*>().isEmpty()); // gone once closed
    }
};

QTEST_MAIN(DecompileDialogTest)
#include "decompile_dialog_test.moc"
