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

namespace {

// A help file to decompile, stand-ins for the services, and the dialog over them.
struct Fixture {
    Fixture() {
        temp.write("out/manual.chm");
        modProject::AppFolder = temp.str("app/");
        tools.behaviour = [](const host::ToolCommand& c) {
            host::testing::writeFile(c.workingFolder + "/manual/index.htm", "x");
            return host::ToolOutcome{true, 0, "written"};
        };
    }
    host::testing::TempFolder temp;
    host::testing::RecordingMessageBoxes boxes;
    host::testing::RecordingToolRunner tools;
    host::testing::RecordingDesktopServices desktop;
    host::testing::ScriptedFileDialogs dialogs;
    host::ScopedMessageBoxes boxScope{boxes};
    host::ScopedServices serviceScope{&tools, &desktop, &dialogs};
    frmdecompile dialog; // last, so it goes first
};

} // namespace

class DecompileDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    std::string at(const std::string& name) const { return f->temp.str(name); }
    // Runs the dialog on the two boxes; gives what they hold afterwards.
    Strings run(const std::string& text1, const std::string& text2) {
        f->dialog.Text1->setText(QString::fromStdString(text1));
        f->dialog.Text2->setText(QString::fromStdString(text2));
        f->dialog.Command3_Click();
        return {f->dialog.Text1->text().toStdString(), f->dialog.Text2->text().toStdString()};
    }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    // An empty box is refused; a failure leaves both boxes as they were, for another try;
    // success opens the target and empties the file box, ready for the next file at once.
    void eachRunShowsItsOutcome() {
        QCOMPARE(run("manual.chm", ""), (Strings{"manual.chm", ""}));
        QCOMPARE(run("", "/"), (Strings{"", "/"}));
        QVERIFY(f->tools.calls.empty());
        QCOMPARE(run(at("out/other.chm"), at("out")), (Strings{at("out/other.chm"), at("out")}));
        QVERIFY(f->desktop.urls.empty());
        QCOMPARE(run(at("out/manual.chm"), at("out")), (Strings{"", at("out")}));
        QCOMPARE(f->boxes.texts(),
                 (Strings{"请选择文件和指定文件目录!!", "请选择文件和指定文件目录!!",
                          "找不到CHM文件：" + at("out/other.chm"), "恭喜！反编译成功。"}));
        const QUrl target = QUrl::fromLocalFile(QString::fromStdString(at("out/manual")));
        QCOMPARE(f->desktop.urls, Strings{target.toString(QUrl::FullyEncoded).toStdString()});
        QVERIFY(f->dialog.isEnabled() && QApplication::overrideCursor() == nullptr);
    }

    void closeRequestsWaitForTheTool() {
        f->dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f->dialog));
        bool stillOpen = false;
        auto play = f->tools.behaviour;
        f->tools.behaviour = [&, play](const host::ToolCommand& c) {
            f->dialog.close();
            f->dialog.Command4_Click();
            stillOpen = f->dialog.isVisible();
            return play(c);
        };
        run(at("out/manual.chm"), at("out"));
        QVERIFY(stillOpen && f->dialog.isVisible());
        f->dialog.Command4_Click();
        QVERIFY(!f->dialog.isVisible());
    }

    void theOpenFileNameLastsForOneOpening() {
        frmdecompile& d = f->dialog;
        d.Text1->setText(QStringLiteral("typed.chm"));
        d.Command1_Click(); // cancelled on first use: empty, even over a typed path
        QCOMPARE(d.Text1->text(), QString());
        QCOMPARE(f->dialogs.requests.at(0).filter, std::string("CHM文件 (*.chm)|*.chm"));
        f->dialogs.answers.push_back(std::string("/docs/first.chm"));
        d.Command1_Click();
        d.Text1->setText(QStringLiteral("typed.chm"));
        d.Command1_Click(); // cancelled: the previous choice, which it also opened on
        QCOMPARE(d.Text1->text(), QStringLiteral("/docs/first.chm"));
        QCOMPARE(f->dialogs.requests.at(2).initialFileName, std::string("/docs/first.chm"));
    }

    void theFolderButtonUsesThePicker() {
        frmdecompile& d = f->dialog;
        d.Text1->setText(QString::fromStdString(at("out")));
        QWidget* owner = nullptr;
        answerModal<Module1::FolderChooser>(
            [&](Module1::FolderChooser& c) { owner = c.parentWidget(); },
            [](Module1::FolderChooser& c) { c.accept(); });
        d.Command2_Click();
        QCOMPARE(owner, &d);
        // The help file box named a folder here, so the picker opened on it and OK took it.
        QCOMPARE(d.Text2->text().toStdString(), at("out"));
        answerModal<Module1::FolderChooser>([](Module1::FolderChooser&) {},
                                            [](Module1::FolderChooser& c) { c.reject(); });
        d.Text2->setText(QStringLiteral("kept"));
        d.Command2_Click();
        QCOMPARE(d.Text2->text(), QStringLiteral("kept"));
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
