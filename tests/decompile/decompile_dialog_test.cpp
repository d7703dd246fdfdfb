// The decompile dialog, driven through its handlers with stand-ins for the message boxes, the
// open-file dialog, the decompiler and the file browser. The run itself is the decompile
// routine's, tested on its own; here is what the dialog shows of it.
#include "Module1.h"
#include "frmdecompile.h"
#include "modProject.h"
#include "modal_answer.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

using Strings = std::vector<std::string>;

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

private slots:
    void init() {
        m_temp = std::make_unique<host::testing::TempFolder>();
        m_temp->write("out/manual.chm");
        modProject::AppFolder = at("app/");
        m_boxes = {};
        m_tools = {};
        m_desktop = {};
        m_dialogs = {};
        m_boxScope = std::make_unique<host::ScopedMessageBoxes>(m_boxes);
        m_serviceScope = std::make_unique<host::ScopedServices>(&m_tools, &m_desktop, &m_dialogs);
        m_tools.behaviour = [](const host::ToolCommand& c) {
            host::testing::writeFile(c.workingFolder + "/manual/index.htm", "x");
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

    void successOpensTheTargetAndEmptiesTheFileBox() {
        run(at("out/manual.chm"), at("out"));
        QCOMPARE(m_boxes.texts(), Strings{"恭喜！反编译成功。"});
        const QUrl target = QUrl::fromLocalFile(QString::fromStdString(at("out/manual")));
        QCOMPARE(m_desktop.urls, Strings{target.toString(QUrl::FullyEncoded).toStdString()});
        expectBoxes("", at("out")); // ready for the next file at once
        QVERIFY(m_dialog->isEnabled() && QApplication::overrideCursor() == nullptr);
    }

    void aFailureIsShownAndBothBoxesKeepTheirText() {
        run(at("out/other.chm"), at("out"));
        QCOMPARE(m_boxes.texts(), Strings{"找不到CHM文件：" + at("out/other.chm")});
        QVERIFY(m_desktop.urls.empty());
        expectBoxes(at("out/other.chm"), at("out"));
        QVERIFY(m_dialog->isEnabled() && QApplication::overrideCursor() == nullptr);
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
