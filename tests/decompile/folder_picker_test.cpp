// The folder picker: what it opens on, what it shows while the highlight moves, and what it
// gives back on OK and on Cancel.
#include "Module1.h"
#include "modal_answer.h"

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using Module1::FolderChooser;

namespace {

struct Seen {
    QString windowTitle, caption, status, highlighted;
    bool okEnabled = false;
    QWidget* parent = nullptr;
};

Seen seenIn(FolderChooser& chooser) {
    Seen seen;
    seen.windowTitle = chooser.windowTitle();
    seen.caption = chooser.findChild<QLabel*>(QStringLiteral("captionLine"))->text();
    seen.status = chooser.findChild<QLabel*>(QStringLiteral("statusLine"))->text();
    seen.highlighted = chooser.chosenFolder();
    seen.okEnabled = chooser.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled();
    seen.parent = chooser.parentWidget();
    return seen;
}

void press(FolderChooser& chooser, const char* button) {
    QTest::mouseClick(chooser.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
}

} // namespace

class FolderPickerTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_temp.isValid());
        m_folder = QDir(m_temp.path()).filePath(QStringLiteral("picked folder"));
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/inner")));
    }

    void cancelGivesNothingAndKeepsTheStart() {
        QWidget owner;
        Seen seen;
        answerModal<FolderChooser>([&](FolderChooser& c) { seen = seenIn(c); },
                                   [](FolderChooser& c) { press(c, "cancelButton"); });
        const std::string start = m_folder.toStdString();
        QCOMPARE(Module1::BrowseForFolder(&owner, "Select A Directory", start), std::string());
        QCOMPARE(Module1::BrowseStartFolder, start);
        QCOMPARE(seen.windowTitle, QStringLiteral("Select A Directory"));
        QCOMPARE(seen.caption, QStringLiteral("Select A Directory"));
        QCOMPARE(seen.parent, &owner);
        // The start folder is highlighted and the status line names it in full.
        QCOMPARE(seen.highlighted, m_folder);
        QCOMPARE(seen.status, m_folder);
        QVERIFY(seen.okEnabled);
        QVERIFY(QApplication::topLevelWidgets().size() <= 1);
    }

    void okGivesTheFolderWithoutTrailingSeparator() {
        answerModal<FolderChooser>([](FolderChooser&) {},
                                   [](FolderChooser& c) { press(c, "okButton"); });
        // A trailing separator on the start path does not come back either.
        QCOMPARE(Module1::BrowseForFolder(nullptr, "t", (m_folder + "/").toStdString()),
                 m_folder.toStdString());
    }

    void rootComesBackWithItsSeparator() {
        const QString root = QDir::rootPath();
        answerModal<FolderChooser>([](FolderChooser&) {},
                                   [](FolderChooser& c) { press(c, "okButton"); });
        QCOMPARE(Module1::BrowseForFolder(nullptr, "t", root.toStdString()),
                 QDir::toNativeSeparators(root).toStdString());
    }

    void startThatIsNoFolderSelectsNothing_data() {
        QTest::addColumn<QString>("start");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << m_temp.path() + QStringLiteral("/no such folder");
        QTest::newRow("a file") << m_temp.path() + QStringLiteral("/help.chm");
    }
    void startThatIsNoFolderSelectsNothing() {
        QFETCH(QString, start);
        QFile file(m_temp.path() + QStringLiteral("/help.chm"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Seen seen;
        answerModal<FolderChooser>([&](FolderChooser& c) { seen = seenIn(c); },
                                   [](FolderChooser& c) { c.reject(); });
        QCOMPARE(Module1::BrowseForFolder(nullptr, "t", start.toStdString()), std::string());
        // Nothing is pre-selected; at most the tree's first item, which takes the highlight
        // with the focus, and the status line agrees with whatever is highlighted.
        QVERIFY2(seen.highlighted.isEmpty() ||
                     seen.highlighted == QDir::toNativeSeparators(QDir::rootPath()),
                 qPrintable(seen.highlighted));
        QCOMPARE(seen.status, seen.highlighted);
        QCOMPARE(seen.okEnabled, !seen.highlighted.isEmpty());
    }

    void statusLineFollowsTheHighlight() {
        FolderChooser chooser(nullptr, QStringLiteral("t"));
        chooser.selectStart(m_folder);
        auto* tree = chooser.findChild<QTreeView*>(QStringLiteral("folderTree"));
        auto* status = chooser.findChild<QLabel*>(QStringLiteral("statusLine"));
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        QCOMPARE(status->text(), m_folder);

        const QString inner = m_folder + QStringLiteral("/inner");
        tree->setCurrentIndex(model->index(inner));
        QCOMPARE(status->text(), inner);
        QCOMPARE(chooser.chosenFolder(), inner);

        // An item without a path leaves the line as it was and cannot be confirmed.
        chooser.BrowseCallbackProc(QModelIndex());
        QCOMPARE(status->text(), inner);
        QVERIFY(!chooser.findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled());

        tree->setCurrentIndex(model->index(m_folder));
        QCOMPARE(status->text(), m_folder);
    }

private:
    QTemporaryDir m_temp;
    QString m_folder;
};

QTEST_MAIN(FolderPickerTest)
#include "folder_picker_test.moc"
