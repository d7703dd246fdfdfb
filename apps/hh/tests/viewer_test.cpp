// The viewer on a fixture help file, offscreen: contents, index with type-to-find, links
// followed inside the file with their images, history, links that leave the file, and the
// search tab on a help file built with a search index.
#include "chm/container_writer.h"
#include "chm/system_files.h"
#include "viewer_window.h"

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
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

// Adds the system files for info, builds the help file in memory and opens it in a viewer.
std::unique_ptr<hh::HelpViewer> openBuilt(chm::ContainerWriter& writer,
                                          const chm::HelpFileInfo& info, const QString& name) {
    std::vector<chm::SystemWarning> warnings;
    chm::SystemFiles system = chm::buildSystemFiles(info, warnings);
    for (auto& f : system.uncompressed)
        writer.addFile(f.name, std::move(f.data), chm::Section::Uncompressed);
    for (auto& f : system.compressed)
        writer.addFile(f.name, std::move(f.data), chm::Section::Compressed);
    std::vector<std::uint8_t> bytes;
    if (writer.build(bytes) != chm::WriteError::None)
        return nullptr;
    auto archive = std::make_unique<chm::ReaderArchive>();
    if (archive->openMemory(std::move(bytes)) != chm::ReadError::Ok)
        return nullptr;
    return std::make_unique<hh::HelpViewer>(std::move(archive), name);
}

// A small Chinese help file (GBK) with a full-text index, built in memory.
std::unique_ptr<hh::HelpViewer> openSearchable() {
    const char* const pages[][3] = {{"a.htm", "\xCB\xD1\xCB\xF7",
                                     "<html><head><title>\xCB\xD1\xCB\xF7</title></head>" // 搜索
                                     "<body>Search pages for words.</body></html>"},
                                    {"b.htm", "Index",
                                     "<html><head><title>Index</title></head><body>\xCB\xD1 words "
                                     "\xCB\xF7</body></html>"}, // 搜 words 索
                                    {"c.htm", "", "<html><body>Nothing here.</body></html>"}};
    chm::HelpFileInfo info;
    info.lcid = 0x804;
    info.codePage = 936;
    info.defaultTopic = "c.htm";
    info.fullTextSearch = true;
    chm::SearchIndexWriter index(936, 0x804);
    chm::ContainerWriter writer;
    for (std::uint32_t topic = 0; topic < 3; ++topic) {
        const std::string html = pages[topic][2];
        info.topics.push_back({pages[topic][0], pages[topic][1]});
        index.addPage(topic, chm::extractPageText(html, 936));
        writer.addFile(std::string("/") + pages[topic][0],
                       std::vector<std::uint8_t>(html.begin(), html.end()),
                       chm::Section::Compressed);
    }
    writer.addFile("/$FIftiMain", index.build(), chm::Section::Compressed);
    return openBuilt(writer, info, QStringLiteral("search.chm"));
}

// A GBK help file whose contents name entries in GBK and with character references, as the
// program's own contents template does.
std::unique_ptr<hh::HelpViewer> openWithReferences() {
    const std::string toc = "<UL><LI><OBJECT type=\"text/sitemap\">"
                            "<param name=\"Name\" value=\"&#30446;&#24405; \xB5\xDA\">" // 目录 第
                            "<param name=\"Local\" value=\"a.htm\"></OBJECT></UL>";
    const std::string page = "<html><head><title>a</title></head><body>a</body></html>";
    chm::HelpFileInfo info;
    info.lcid = 0x804;
    info.codePage = 936;
    info.defaultTopic = "a.htm";
    info.contentsFile = "toc.hhc";
    info.topics.push_back({"a.htm", "a"});
    chm::ContainerWriter writer;
    writer.addFile("/a.htm", std::vector<std::uint8_t>(page.begin(), page.end()),
                   chm::Section::Compressed);
    writer.addFile("/toc.hhc", std::vector<std::uint8_t>(toc.begin(), toc.end()),
                   chm::Section::Compressed);
    return openBuilt(writer, info, QStringLiteral("refs.chm"));
}

QStringList rows(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
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

    void contentsMixCodePageTextAndCharacterReferences() {
        auto viewer = openWithReferences();
        QVERIFY(viewer);
        QTreeWidget* tree = viewer->findChild<QTreeWidget*>(QStringLiteral("contentsTree"));
        QVERIFY(tree);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("目录 第"));
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

    void searchTabOnlyWithAnIndex() {
        auto plain = openFixture();
        QVERIFY(plain);
        QTabWidget* tabs = plain->navigationTabs();
        QCOMPARE(tabs->count(), 2);
        QVERIFY(!plain->findChild<QLineEdit*>(QStringLiteral("searchText")));

        auto viewer = openSearchable();
        QVERIFY(viewer);
        QCOMPARE(viewer->navigationTabs()->count(), 3);
        QCOMPARE(viewer->navigationTabs()->tabText(2), QStringLiteral("搜索"));
    }

    void searchListsTopicsByTitleAndOpensThem() {
        auto viewer = openSearchable();
        QVERIFY(viewer);
        auto* text = viewer->findChild<QLineEdit*>(QStringLiteral("searchText"));
        auto* button = viewer->findChild<QPushButton*>(QStringLiteral("searchButton"));
        auto* results = viewer->findChild<QListWidget*>(QStringLiteral("searchResults"));
        QVERIFY(text && button && results);
        QCOMPARE(button->text(), QStringLiteral("列出主题"));

        // Titles come from the help file's topics, decoded from its code page; a topic
        // without a title is listed by its page.
        text->setText(QStringLiteral("WORDS"));
        button->click();
        QCOMPARE(rows(results), (QStringList{QStringLiteral("搜索"), QStringLiteral("Index")}));
        // Characters typed together must stand together; a blank lets them stand apart.
        text->setText(QStringLiteral("搜索"));
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(rows(results), QStringList{QStringLiteral("搜索")});
        text->setText(QStringLiteral("搜 索"));
        button->click();
        QCOMPARE(results->count(), 2);
        text->setText(QStringLiteral("nothing"));
        button->click();
        QCOMPARE(rows(results), QStringList{QStringLiteral("c.htm")});

        emit results->itemDoubleClicked(results->item(0));
        QCOMPARE(viewer->pageView()->source().path(), QStringLiteral("/c.htm"));
        text->setText(QStringLiteral("absent"));
        button->click();
        QCOMPARE(results->count(), 0);
    }
};

QTEST_MAIN(ViewerTest)
#include "viewer_test.moc"
