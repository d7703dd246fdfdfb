// The viewer on a fixture help file, offscreen: contents, index with type-to-find, links
// followed inside the file with their images, history, and links that leave the file.
#include "viewer_window.h"

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBlock>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTreeWidget>
#include <QtTest>

namespace {

std::unique_ptr<hh::HelpViewer> openFixture() {
    auto archive = std::make_unique<chm::ReaderArchive>();
    if (archive->openFile(QUORLIN_HH_FIXTURE) != chm::ReadError::Ok)
        return nullptr;
    return std::make_unique<hh::HelpViewer>(std::move(archive), QStringLiteral("sample.chm"));
}

QStringList imageNames(QTextDocument* doc) {
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out << it.fragment().charFormat().toImageFormat().name();
    return out;
}

} // namespace

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    void showsTitleContentsAndStartPage() {
        auto viewer = openFixture();
        QVERIFY(viewer);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Quorlin Sample"));
        QTreeWidget* tree = viewer->findChild<QTreeWidget*>(QStringLiteral("contentsTree"));
        QVERIFY(tree);
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Sample start"));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
        // the contents file is in the help file's code page (GBK for 0x804)
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("第二页"));
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/index.htm"));
        QVERIFY(viewer->pageView()->toPlainText().contains(QStringLiteral("Sample start")));

        emit tree->itemClicked(tree->topLevelItem(1), 0);
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/long.htm"));
    }

    void indexFindsAsYouType() {
        auto viewer = openFixture();
        QVERIFY(viewer);
        QListWidget* index = viewer->findChild<QListWidget*>(QStringLiteral("indexList"));
        QLineEdit* filter = viewer->findChild<QLineEdit*>(QStringLiteral("indexFilter"));
        QVERIFY(index && filter);
        QCOMPARE(index->count(), 3);
        QTest::keyClicks(filter, QStringLiteral("BA"));
        QVERIFY(index->currentItem());
        QCOMPARE(index->currentItem()->text(), QStringLiteral("banana"));
        QTest::keyClick(filter, Qt::Key_Return);
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/sub/page2.htm"));
    }

    void followsLinksWithImagesAndHistory() {
        auto viewer = openFixture();
        QVERIFY(viewer);
        hh::HelpBrowser* page = viewer->pageView();
        emit page->anchorClicked(QUrl(QStringLiteral("sub/page2.htm")));
        QCOMPARE(page->source().path(), QStringLiteral("/sub/page2.htm"));
        QVERIFY(page->toPlainText().contains(QStringLiteral("Second page")));
        const QStringList images = imageNames(page->document());
        QCOMPARE(images.size(), 1);
        QUrl imageUrl = page->source().resolved(QUrl(images.first()));
        QCOMPARE(imageUrl.path(), QStringLiteral("/images/logo.png"));
        QImage image = QImage::fromData(
            page->loadResource(QTextDocument::ImageResource, imageUrl).toByteArray());
        QCOMPARE(image.size(), QSize(24, 16));

        // relative link back up, then history both ways, then home
        emit page->anchorClicked(QUrl(QStringLiteral("../index.htm")));
        QCOMPARE(page->source().path(), QStringLiteral("/index.htm"));
        auto* back = viewer->findChild<QAction*>(QStringLiteral("actionBack"));
        auto* forward = viewer->findChild<QAction*>(QStringLiteral("actionForward"));
        auto* home = viewer->findChild<QAction*>(QStringLiteral("actionHome"));
        QVERIFY(back && forward && home);
        QVERIFY(back->isEnabled());
        back->trigger();
        QCOMPARE(page->source().path(), QStringLiteral("/sub/page2.htm"));
        QVERIFY(forward->isEnabled());
        forward->trigger();
        QCOMPARE(page->source().path(), QStringLiteral("/index.htm"));
        viewer->showPage(QStringLiteral("long.htm#end"));
        home->trigger();
        QCOMPARE(page->source().path(), QStringLiteral("/index.htm"));
    }

    void linksLeavingTheFileGoToTheDesktop() {
        auto viewer = openFixture();
        QVERIFY(viewer);
        QList<QUrl> opened;
        viewer->openExternal = [&](const QUrl& u) { opened << u; };
        emit viewer->pageView()->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/"))});
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/index.htm"));
        // ms-its links into the same file stay inside
        emit viewer->pageView()->anchorClicked(
            QUrl(QStringLiteral("ms-its:sample.chm::/style.css")));
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/style.css"));
        QVERIFY(!viewer->showPage(QStringLiteral("missing.htm")));
    }
};

QTEST_MAIN(ViewerTest)
#include "viewer_test.moc"
