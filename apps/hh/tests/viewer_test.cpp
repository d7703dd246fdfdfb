// The viewer window on small help files, offscreen with the real browser engine: links and the
// contents following them, previous/next topic, find in page, zoom, the index's topic chooser,
// ranked and marked search results, recent files and the state kept per help file.
#include "help_builder.h"
#include "page_view.h"
#include "viewer_models.h"
#include "viewer_window.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

namespace {

using hhtest::page;
using hhtest::sitemapItem;

hhtest::HelpContent bookContent() {
    hhtest::HelpContent content;
    content.title = "Book";
    content.search = true;
    content.pages = {
        page("intro.htm", "Intro",
             "<p>alpha alpha beta</p><a id=next target=\"_blank\" href=\"ch1/one.htm\">one</a>"),
        page("ch1/one.htm", "One", "alpha <a id=up href=\"../three.htm\">3</a>"),
        page("ch1/two.htm", "Two", "beta gamma alpha beta"),
        page("three.htm", "Three", "gamma <a id=get href=\"data.bin\">data</a>"),
        {"data.bin", "", std::string("\0\1\2binary", 9)},
    };
    content.contents = "<UL>" + sitemapItem("Intro", "intro.htm") + sitemapItem("Part") + "<UL>" +
                       sitemapItem("One", "ch1/one.htm") + sitemapItem("Two", "ch1/two.htm") +
                       "</UL>" + sitemapItem("Three", "three.htm") + "</UL>";
    content.index =
        "<UL>" +
        sitemapItem("alpha", "", {{"The intro", "intro.htm"}, {"Part two", "ch1/two.htm"}}) +
        sitemapItem("gamma", "three.htm") + "</UL>";
    return content;
}

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_book, m_other;
    QStringList m_messages;

    std::unique_ptr<hh::HelpViewer> newViewer() {
        auto viewer = std::make_unique<hh::HelpViewer>();
        viewer->showMessage = [this](const QString& text) { m_messages << text; };
        viewer->openExternal = [](const QUrl& url) { QFAIL(qPrintable(url.toString())); };
        viewer->pageView();
        return viewer;
    }

    // Opens the file and waits until its first page is ready; shown on the screen for tests
    // that type or click.
    std::unique_ptr<hh::HelpViewer> openBook(const QString& path, const QString& page = {},
                                             bool show = false) {
        auto viewer = newViewer();
        QSignalSpy ready(viewer.get(), &hh::HelpViewer::pageReady);
        if (!viewer->openFile(path, page) || !ready.wait(20000))
            return nullptr;
        if (show) {
            viewer->show();
            if (!QTest::qWaitForWindowExposed(viewer.get()))
                return nullptr;
        }
        return viewer;
    }

    static bool waitReady(hh::HelpViewer& viewer, const std::function<void()>& action) {
        QSignalSpy ready(&viewer, &hh::HelpViewer::pageReady);
        action();
        return ready.wait(20000);
    }

    static QVariant js(hh::HelpViewer& viewer, const QString& script) {
        std::optional<QVariant> result;
        viewer.pageView()->runScript(script, false, [&](const QVariant& v) { result = v; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 10000) ? *result : QVariant();
    }

    static QString title(hh::HelpViewer& viewer) {
        return js(viewer, QStringLiteral("document.title")).toString();
    }

    // A real click, as a reader makes it: the engine treats links that scripts click as no
    // choice of the user's (they open no windows and their history entries are skipped).
    static void click(hh::HelpViewer& viewer, const QString& id) {
        const QVariantList at =
            js(viewer,
               QStringLiteral("(function(){var r=document.getElementById('%1')"
                              ".getBoundingClientRect();return [r.x+r.width/2,r.y+r.height/2];})()")
                   .arg(id))
                .toList();
        QWidget* surface = viewer.pageView()->surface();
        QVERIFY(at.size() == 2 && surface);
        QTest::mouseClick(surface, Qt::LeftButton, {},
                          QPoint(qRound(at[0].toDouble()), qRound(at[1].toDouble())));
    }

    static QString selectedContents(hh::HelpViewer& viewer) {
        return viewer.contentsTree()->currentIndex().data(Qt::DisplayRole).toString();
    }

    static QAction* action(hh::HelpViewer& viewer, const char* name) {
        return viewer.findChild<QAction*>(QLatin1String(name));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_book = m_dir.filePath(QStringLiteral("book.chm"));
        m_other = m_dir.filePath(QStringLiteral("other.chm"));
        QVERIFY(hhtest::writeHelp(bookContent(), m_book.toStdString()));
        hhtest::HelpContent other;
        other.title = "Other";
        other.pages = {hhtest::page("a.htm", "A", "a")};
        QVERIFY(hhtest::writeHelp(other, m_other.toStdString()));
    }

    void init() {
        m_messages.clear();
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("chmquorlin"),
                  QStringLiteral("hh"))
            .clear();
    }

    // Links, history and previous/next move the page; the contents follow each move.
    void everyMoveKeepsTheContentsInStep() {
        auto viewer = openBook(m_book, {}, true);
        QVERIFY(viewer);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Book"));
        QCOMPARE(title(*viewer), QStringLiteral("Intro"));
        QCOMPARE(selectedContents(*viewer), QStringLiteral("Intro"));
        QVERIFY(!action(*viewer, "actionPreviousTopic")->isEnabled());

        // target="_blank" stays in this window.
        QVERIFY(waitReady(*viewer, [&] { click(*viewer, QStringLiteral("next")); }));
        QCOMPARE(viewer->currentPage(), QStringLiteral("/ch1/one.htm"));
        QCOMPARE(selectedContents(*viewer), QStringLiteral("One"));
        // A climb above the file's root stops there.
        QVERIFY(waitReady(*viewer, [&] { click(*viewer, QStringLiteral("up")); }));
        QCOMPARE(viewer->currentPage(), QStringLiteral("/three.htm"));
        QCOMPARE(selectedContents(*viewer), QStringLiteral("Three"));

        QVERIFY(waitReady(*viewer, [&] { viewer->goBack(); }));
        QCOMPARE(selectedContents(*viewer), QStringLiteral("One"));
        QVERIFY(waitReady(*viewer, [&] { viewer->goBack(); }));
        QCOMPARE(selectedContents(*viewer), QStringLiteral("Intro"));
        QVERIFY(action(*viewer, "actionForward")->isEnabled() &&
                !action(*viewer, "actionBack")->isEnabled());

        QStringList seen;
        while (action(*viewer, "actionNextTopic")->isEnabled()) {
            QVERIFY(waitReady(*viewer, [&] { viewer->nextTopic(); }));
            seen << selectedContents(*viewer) + QLatin1Char('=') + title(*viewer);
        }
        // The heading has no page of its own and is passed over.
        QCOMPARE(seen, QStringList({QStringLiteral("One=One"), QStringLiteral("Two=Two"),
                                    QStringLiteral("Three=Three")}));
        QVERIFY(waitReady(*viewer, [&] { viewer->previousTopic(); }));
        QCOMPARE(viewer->currentPage(), QStringLiteral("/ch1/two.htm"));
    }

    void findInPageAndZoomByKeysAndWheel() {
        auto viewer = openBook(m_book, {}, true);
        QVERIFY(viewer);
        QTest::keyClick(viewer.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(viewer->findText()->isVisible());
        QTest::keyClicks(viewer->findText(), QStringLiteral("alpha"));
        QTRY_COMPARE_WITH_TIMEOUT(viewer->findStatus()->text(), QStringLiteral("第 1 项，共 2 项"),
                                  10000);
        QTest::keyClick(viewer->findText(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(viewer->findStatus()->text(), QStringLiteral("第 2 项，共 2 项"),
                                  10000);
        viewer->findText()->setText(QStringLiteral("zebra"));
        QTRY_COMPARE_WITH_TIMEOUT(viewer->findStatus()->text(), QStringLiteral("找不到匹配项"),
                                  10000);
        QTest::keyClick(viewer->findText(), Qt::Key_Escape);
        QVERIFY(!viewer->findText()->isVisible());

        hh::PageView* view = viewer->pageView();
        QTest::keyClick(viewer.get(), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view->zoom(), 1.1);
        QTest::keyClick(viewer.get(), Qt::Key_0, Qt::ControlModifier);
        QTest::keyClick(viewer.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view->zoom(), 0.9);
        QWidget* surface = view->surface();
        QVERIFY(surface);
        QWheelEvent up(QPointF(10, 10), surface->mapToGlobal(QPointF(10, 10)), QPoint(),
                       QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &up);
        QCOMPARE(view->zoom(), 1.0);
    }

    void indexChoiceAndRankedSearchResultsLeadToTopics() {
        auto viewer = openBook(m_book);
        QVERIFY(viewer);
        QStringList offered;
        int answer = -1;
        viewer->chooseTopic = [&](const QString& keyword, const QStringList& titles) {
            offered = QStringList{keyword} + titles;
            return answer;
        };
        viewer->indexFilter()->setText(QStringLiteral("ALP"));
        QCOMPARE(viewer->indexList()->currentIndex().row(), 0);
        viewer->activateIndexRow(0); // declined: the page stays
        QCOMPARE(offered, QStringList({QStringLiteral("alpha"), QStringLiteral("The intro"),
                                       QStringLiteral("Part two")}));
        QCOMPARE(viewer->currentPage(), QStringLiteral("/intro.htm"));
        answer = 1;
        QVERIFY(waitReady(*viewer, [&] { viewer->activateIndexRow(0); }));
        QCOMPARE(viewer->currentPage(), QStringLiteral("/ch1/two.htm"));

        viewer->searchText()->setText(QStringLiteral("alpha beta"));
        viewer->runSearch(); // ranked Intro, Two, One: the second is marked where it matches
        QVERIFY(waitReady(*viewer, [&] { viewer->openSearchResult(1); }));
        QCOMPARE(js(*viewer, QStringLiteral("Array.from(document.querySelectorAll("
                                            "'mark.quorlin-search-hit')).map(m => m.textContent)"
                                            ".join(',')"))
                     .toString(),
                 QStringLiteral("beta,alpha,beta"));
    }

    void stateIsRememberedPerFileAndRecentFilesListed() {
        {
            auto viewer = openBook(m_book);
            QVERIFY(viewer);
            QVERIFY(waitReady(*viewer, [&] { viewer->showPage(QStringLiteral("three.htm")); }));
            viewer->resize(700, 500);
            viewer->zoomIn();
            viewer->close();
            QVERIFY(waitReady(*viewer, [&] { viewer->openFile(m_other); }));
        }
        auto viewer = openBook(m_book);
        QVERIFY(viewer);
        QCOMPARE(viewer->currentPage(), QStringLiteral("/three.htm"));
        QCOMPARE(viewer->size(), QSize(700, 500));
        QCOMPARE(viewer->pageView()->zoom(), 1.1);
        QCOMPARE(viewer->recentFiles(), QStringList({m_book, m_other}));
        // A page asked for by name wins over the remembered one.
        auto again = openBook(m_book, QStringLiteral("ch1/one.htm"));
        QVERIFY(again);
        QCOMPARE(again->currentPage(), QStringLiteral("/ch1/one.htm"));
    }

    void downloadsAreRefusedAndPagesPrintToPdf() {
        auto viewer = openBook(m_book, QStringLiteral("three.htm"), true);
        QVERIFY(viewer);
        click(*viewer, QStringLiteral("get"));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_messages,
            QStringList(QStringLiteral("查看器不下载文件：“data.bin”不是可以显示的页面。")), 10000);
        const QString pdf = m_dir.filePath(QStringLiteral("three.pdf"));
        QString suggested;
        viewer->choosePdfFile = [&](const QString& name) {
            suggested = name;
            return pdf;
        };
        QSignalSpy printed(viewer->pageView(), &hh::PageView::pdfPrintingFinished);
        action(*viewer, "actionPrintPdf")->trigger();
        QCOMPARE(suggested, QStringLiteral("book.pdf"));
        QVERIFY(printed.wait(20000) && QFileInfo(pdf).size() > 0);
    }

    void emptyViewerOpensAFileAndRefusesABrokenOne() {
        auto viewer = newViewer();
        auto* open = viewer->findChild<QPushButton*>(QStringLiteral("openButton"));
        QVERIFY(open);
        QString offered = m_dir.filePath(QStringLiteral("missing.chm"));
        viewer->chooseHelpFile = [&] { return offered; };
        open->click();
        QCOMPARE(m_messages,
                 QStringList(
                     QStringLiteral("无法打开帮助文件“%1”：文件不存在或无法打开。").arg(offered)));
        QVERIFY(!viewer->document());
        offered = m_other;
        QVERIFY(waitReady(*viewer, [&] { open->click(); }));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Other"));
        // A page the file lacks gets an error page, not a blank.
        QVERIFY(waitReady(*viewer, [&] {
            viewer->pageView()->load(hh::helpPageUrl(m_other.toStdString(), "/gone.htm"));
        }));
        QCOMPARE(title(*viewer), QStringLiteral("找不到页面"));
    }
};

int main(int argc, char** argv) {
    // Settings go to a folder of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    hh::prepareApplication();
    QApplication app(argc, argv);
    ViewerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewer_test.moc"
