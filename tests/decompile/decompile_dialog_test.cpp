// The decompile dialog, driven through its handlers with stand-ins for the message boxes, the
// open-file dialog, the decompiler and the file browser (the run itself is the decompile
// routine's, tested on its own; here is what the dialog shows of it), and the folder picker:
// what it opens on, what it shows while the highlight moves, what it gives on OK and Cancel.
#include "Module1.h"
#include "frmdecompile.h"
#include "modProject.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

using Module1::FolderChooser;
using Strings = std::vector<std::string>;

namespace {

// Answers a modal dialog from the event loop: once a modal window of type Dialog is up, look
// runs on it (to record what it shows) and then answer closes it.
template <typename Dialog>
void answerModal(std::function<void(Dialog&)> look, std::function<void(Dialog&)> answer,
                 int attemptsLeft = 200) {
    QTimer::singleShot(10, [look, answer, attemptsLeft] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (attemptsLeft > 0) {
                answerModal<Dialog>(look, answer, attemptsLeft - 1);
            }
            return;
        }
        look(*dialog);
        answer(*dialog);
    });
}

// What the chooser shows: the highlighted folder, the status line and whether OK is on.
QString seenIn(FolderChooser& c) {
    return c.chosenFolder() + '|' + c.findChild<QLabel*>(QStringLiteral("statusLine"))->text() +
           (c.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled() ? "|ok" : "|-");
}

std::string browse(const std::string& start, bool ok, QString* seen = nullptr) {
    answerModal<FolderChooser>([seen](FolderChooser& c) { seen && (*seen = seenIn(c), true); },
                               [ok](FolderChooser& c) { ok ? c.accept() : c.reject(); });
    return Module1::BrowseForFolder(nullptr, "Select A Directory", start);
}

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
    QTemporaryDir m_temp; // the folder picker's
    const QString m_folder = m_temp.filePath(QStringLiteral("picked folder"));

    std::string at(const std::string& name) const { return f->temp.str(name); }
    // Runs the dialog on the two boxes; gives what they hold afterwards.
    Strings run(const std::string& text1, const std::string& text2) {
        f->dialog.Text1->setText(QString::fromStdString(text1));
        f->dialog.Text2->setText(QString::fromStdString(text2));
        f->dialog.Command3_Click();
        return {f->dialog.Text1->text().toStdString(), f->dialog.Text2->text().toStdString()};
    }

private slots:
    void init() {
        f = std::make_unique<Fixture>();
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/inner")));
    }
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
        f->tools.behaviour = [&, play = f->tools.behaviour](const host::ToolCommand& c) {
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

    void cancelGivesNothingAndKeepsTheStart() {
        QString seen;
        QCOMPARE(browse(m_folder.toStdString(), false, &seen), std::string());
        QCOMPARE(Module1::BrowseStartFolder, m_folder.toStdString());
        QCOMPARE(seen, m_folder + '|' + m_folder + "|ok"); // the start, highlighted in full
    }

    void okGivesTheFolderAndOnlyARootKeepsItsSeparator() {
        QCOMPARE(browse(m_folder.toStdString() + "/", true), m_folder.toStdString());
        QCOMPARE(browse("/", true), std::string("/"));
    }

    void aStartThatIsNoFolderSelectsNothing() {
        const QString file = m_temp.filePath(QStringLiteral("help.chm"));
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        for (const QString& start : {QString(), file}) {
            QString seen;
            browse(start.toStdString(), false, &seen);
            // At most the tree's first item takes the highlight with the focus.
            QVERIFY2(seen == "||-" || seen == "/|/|ok", qPrintable(seen));
        }
    }

    void theStatusLineFollowsTheHighlight() {
        FolderChooser chooser(nullptr, QStringLiteral("t"));
        auto* tree = chooser.findChild<QTreeView*>(QStringLiteral("folderTree"));
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        const QString inner = m_folder + QStringLiteral("/inner");
        tree->setCurrentIndex(model->index(inner));
        QCOMPARE(seenIn(chooser), inner + '|' + inner + "|ok");
        // An item without a path leaves the line as it was and cannot be confirmed.
        chooser.BrowseCallbackProc(QModelIndex());
        QVERIFY(seenIn(chooser).endsWith('|' + inner + "|-"));
    }
};

QTEST_MAIN(DecompileDialogTest)
#include "decompile_dialog_test.moc"
