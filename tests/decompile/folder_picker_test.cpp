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

} // namespace

class FolderPickerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp; // Qt's: this test links no test support of ours
    const QString m_folder = m_temp.filePath(QStringLiteral("picked folder"));

private slots:
    void init() { QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/inner"))); }

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

QTEST_MAIN(FolderPickerTest)
#include "folder_picker_test.moc"
