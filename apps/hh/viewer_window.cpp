#include "viewer_window.h"

#include "hh_command.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace hh {

namespace {

// Pages, images and sitemaps bigger than this are not help content; refuse them.
constexpr std::uint64_t kMaxResource = 64u << 20;

bool isAscii(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

QStringDecoder decoderForCodePage(unsigned codePage) {
    const char* name = nullptr;
    switch (codePage) {
    case 936:
        name = "GBK";
        break;
    case 950:
        name = "Big5";
        break;
    case 932:
        name = "Shift_JIS";
        break;
    case 949:
        name = "windows-949";
        break;
    case 874:
        name = "windows-874";
        break;
    default:
        break;
    }
    if (name)
        return QStringDecoder(name);
    return QStringDecoder(QByteArray("windows-" + QByteArray::number(codePage)).constData());
}

QString openFailureText(chm::ReadError error) {
    switch (error) {
    case chm::ReadError::CannotOpen:
        return QStringLiteral("文件不存在或无法读取。");
    case chm::ReadError::NotChm:
        return QStringLiteral("这不是 CHM 帮助文件。");
    case chm::ReadError::Corrupt:
    case chm::ReadError::PastEnd:
        return QStringLiteral("帮助文件已损坏。");
    default:
        return QString::fromUtf8(chm::readErrorText(error));
    }
}

HelpBrowser::HelpBrowser(chm::ReaderArchive& archive, QWidget* parent)
    : QTextBrowser(parent), m_archive(archive) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void HelpBrowser::setTextCodePage(unsigned codePage) {
    m_codePage = codePage;
}

QString HelpBrowser::decodePage(const QByteArray& bytes) const {
    // A page that names its own character set is decoded by it; others are in the help
    // file's code page, as the compiler's own texts are.
    if (bytes.left(4096).toLower().contains("charset")) {
        QStringDecoder byMeta = QStringDecoder::decoderForHtml(bytes);
        if (byMeta.isValid())
            return byMeta.decode(bytes);
    }
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return asUtf8;
    QStringDecoder local = decoderForCodePage(m_codePage);
    if (local.isValid())
        return local.decode(bytes);
    return QString::fromLatin1(bytes);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() != QLatin1String(kScheme))
        return QTextBrowser::loadResource(type, name);
    std::vector<std::uint8_t> bytes;
    if (m_archive.read(name.path().toStdString(), bytes, kMaxResource) != chm::ReadError::Ok)
        return {};
    QByteArray content(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qsizetype>(bytes.size()));
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return decodePage(content);
    return content;
}

HelpViewer::HelpViewer(std::unique_ptr<chm::ReaderArchive> archive, const QString& fileName,
                       QWidget* parent)
    : QMainWindow(parent), m_archive(std::move(archive)) {
    openExternal = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    loadSettings(fileName);
    createPanes();
    createActions();
    loadContents();
    loadIndex();
    resize(900, 640);
    QString first = startPage();
    if (!first.isEmpty())
        showPage(first);
    updateActions();
}

std::string HelpViewer::readText(const std::string& name) {
    std::vector<std::uint8_t> bytes;
    if (name.empty() || m_archive->read(name, bytes, kMaxResource) != chm::ReadError::Ok)
        return {};
    return std::string(bytes.begin(), bytes.end());
}

QString HelpViewer::decode(const std::string& text) const {
    QByteArray bytes = QByteArray::fromStdString(text);
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder local = decoderForCodePage(m_codePage);
    if (local.isValid()) {
        QString out = local.decode(bytes);
        if (!local.hasError())
            return out;
    }
    return QString::fromUtf8(bytes);
}

void HelpViewer::loadSettings(const QString& fileName) {
    std::vector<std::string> warnings;
    std::vector<std::uint8_t> bytes;
    if (m_archive->read("/#SYSTEM", bytes, kMaxResource) == chm::ReadError::Ok)
        m_system = chm::parseSystem(bytes, warnings);
    std::vector<std::uint8_t> windows, strings;
    if (m_archive->read("/#WINDOWS", windows, kMaxResource) == chm::ReadError::Ok) {
        m_archive->read("/#STRINGS", strings, kMaxResource);
        m_windows = chm::parseWindows(windows, strings, warnings);
    }
    for (const chm::WindowSettings& w : m_windows)
        if (!m_system.defaultWindow.empty() &&
            QString::fromStdString(w.name).compare(QString::fromStdString(m_system.defaultWindow),
                                                   Qt::CaseInsensitive) == 0)
            m_window = &w;
    if (m_system.lcid)
        m_codePage = chm::codePageForLcid(*m_system.lcid);

    auto pick = [&](const std::string& fromSystem, const std::string& fromWindow,
                    const char* extension) {
        if (!fromSystem.empty())
            return QString::fromStdString(fromSystem);
        if (!fromWindow.empty())
            return QString::fromStdString(fromWindow);
        QString only;
        for (const chm::ReaderEntry& e : m_archive->entries()) {
            QString name = QString::fromStdString(e.name);
            if (name.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) {
                if (!only.isEmpty())
                    return QString();
                only = name;
            }
        }
        return only;
    };
    m_contentsFile = pick(m_system.contentsFile, m_window ? m_window->toc : std::string(), ".hhc");
    m_indexFile = pick(m_system.indexFile, m_window ? m_window->index : std::string(), ".hhk");

    QString title = decode(m_system.title);
    if (title.isEmpty() && m_window)
        title = decode(m_window->caption);
    if (title.isEmpty())
        title = QFileInfo(fileName).fileName();
    setWindowTitle(title);
}

void HelpViewer::createPanes() {
    m_browser = new HelpBrowser(*m_archive, this);
    m_browser->setObjectName(QStringLiteral("pageView"));
    m_browser->setTextCodePage(m_codePage);

    m_contents = new QTreeWidget;
    m_contents->setObjectName(QStringLiteral("contentsTree"));
    m_contents->setHeaderHidden(true);

    auto* indexPane = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPane);
    indexLayout->setContentsMargins(4, 4, 4, 4);
    m_indexFilter = new QLineEdit;
    m_indexFilter->setObjectName(QStringLiteral("indexFilter"));
    m_indexFilter->setPlaceholderText(QStringLiteral("键入要查找的关键字"));
    m_index = new QListWidget;
    m_index->setObjectName(QStringLiteral("indexList"));
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_index);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("navigationTabs"));
    m_tabs->addTab(m_contents, QStringLiteral("目录"));
    m_tabs->addTab(indexPane, QStringLiteral("索引"));
    // Only a help file compiled with a search index gets the tab.
    const chm::ReaderEntry* searchIndex = m_archive->find("/$FIftiMain");
    if (searchIndex && searchIndex->length > 0)
        m_tabs->addTab(createSearchPane(), QStringLiteral("搜索"));

    auto* splitter = new QSplitter;
    splitter->addWidget(m_tabs);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    int navWidth = m_window && m_window->navWidth >= 100 && m_window->navWidth <= 600
                       ? static_cast<int>(m_window->navWidth)
                       : 240;
    splitter->setSizes({navWidth, 900 - navWidth});
    setCentralWidget(splitter);

    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpViewer::followLink);
    connect(m_browser, &QTextBrowser::backwardAvailable, this, &HelpViewer::updateActions);
    connect(m_browser, &QTextBrowser::forwardAvailable, this, &HelpViewer::updateActions);
    connect(m_contents, &QTreeWidget::itemClicked, this, &HelpViewer::contentsItemActivated);
    connect(m_contents, &QTreeWidget::itemActivated, this, &HelpViewer::contentsItemActivated);
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpViewer::indexFilterChanged);
    connect(m_indexFilter, &QLineEdit::returnPressed, this,
            [this] { indexItemActivated(m_index->currentItem()); });
    connect(m_index, &QListWidget::itemActivated, this, &HelpViewer::indexItemActivated);
    connect(m_index, &QListWidget::itemDoubleClicked, this, &HelpViewer::indexItemActivated);
}

QWidget* HelpViewer::createSearchPane() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(4, 4, 4, 4);
    m_searchText = new QLineEdit;
    m_searchText->setObjectName(QStringLiteral("searchText"));
    m_searchText->setPlaceholderText(QStringLiteral("键入要查找的单词"));
    m_searchButton = new QPushButton(QStringLiteral("列出主题"));
    m_searchButton->setObjectName(QStringLiteral("searchButton"));
    m_searchResults = new QListWidget;
    m_searchResults->setObjectName(QStringLiteral("searchResults"));
    layout->addWidget(m_searchText);
    layout->addWidget(m_searchButton);
    layout->addWidget(m_searchResults);
    connect(m_searchButton, &QPushButton::clicked, this, &HelpViewer::runSearch);
    connect(m_searchText, &QLineEdit::returnPressed, this, &HelpViewer::runSearch);
    connect(m_searchResults, &QListWidget::itemActivated, this, &HelpViewer::searchItemActivated);
    connect(m_searchResults, &QListWidget::itemDoubleClicked, this,
            &HelpViewer::searchItemActivated);
    return pane;
}

void HelpViewer::runSearch() {
    m_searchResults->clear();
    const QString query = m_searchText->text().trimmed();
    if (query.isEmpty())
        return;
    std::vector<std::uint32_t> found;
    const chm::SearchError error = chm::search(*m_archive, query.toStdString(), found);
    if (error != chm::SearchError::Ok) {
        statusBar()->showMessage(QString::fromUtf8(chm::searchErrorText(error)), 5000);
        return;
    }
    if (m_topics.empty())
        m_topics = chm::readTopics(*m_archive);
    for (std::uint32_t topic : found) {
        if (topic >= m_topics.size())
            continue;
        const chm::TopicEntry& entry = m_topics[topic];
        QString title = decode(entry.title);
        if (title.isEmpty())
            title = QString::fromStdString(entry.url);
        auto* row = new QListWidgetItem(title, m_searchResults);
        row->setData(Qt::UserRole, QString::fromStdString(entry.url));
    }
    statusBar()->showMessage(QStringLiteral("找到 %1 个主题").arg(m_searchResults->count()), 5000);
}

void HelpViewer::searchItemActivated(QListWidgetItem* item) {
    if (!item)
        return;
    const QString local = item->data(Qt::UserRole).toString();
    if (!local.isEmpty())
        showPage(local);
}

void HelpViewer::createActions() {
    QToolBar* bar = addToolBar(QStringLiteral("工具栏"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setMovable(false);
    m_back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("后退"));
    m_back->setObjectName(QStringLiteral("actionBack"));
    m_forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("前进"));
    m_forward->setObjectName(QStringLiteral("actionForward"));
    m_home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("主页"));
    m_home->setObjectName(QStringLiteral("actionHome"));
    connect(m_back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_home, &QAction::triggered, this, &HelpViewer::goHome);
}

void HelpViewer::updateActions() {
    if (m_back)
        m_back->setEnabled(m_browser->isBackwardAvailable());
    if (m_forward)
        m_forward->setEnabled(m_browser->isForwardAvailable());
    if (m_home)
        m_home->setEnabled(!homePage().isEmpty());
}

std::string HelpViewer::readSitemap(const QString& name) {
    // Sitemaps are stored in the help file's code page. They are read as Unicode before their
    // character references are expanded, so "&#30446;" and the text around it end up in one
    // encoding.
    const std::string raw = readText(name.toStdString());
    return raw.empty() ? raw : decode(raw).toStdString();
}

void HelpViewer::loadContents() {
    const std::string text = readSitemap(m_contentsFile);
    if (text.empty())
        return;
    chm::Sitemap map = chm::parseSitemap(text);
    addContentsItems(nullptr, map.items);
    m_contents->expandToDepth(0);
}

void HelpViewer::addContentsItems(QTreeWidgetItem* parent,
                                  const std::vector<chm::SitemapItem>& items) {
    for (const chm::SitemapItem& item : items) {
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_contents);
        node->setText(0, QString::fromStdString(item.name));
        node->setData(0, Qt::UserRole, QString::fromStdString(item.local));
        node->setIcon(0, style()->standardIcon(item.children.empty() ? QStyle::SP_FileIcon
                                                                     : QStyle::SP_DirIcon));
        addContentsItems(node, item.children);
    }
}

void HelpViewer::loadIndex() {
    const std::string text = readSitemap(m_indexFile);
    if (text.empty())
        return;
    addIndexItems(chm::parseSitemap(text).items, 0);
}

void HelpViewer::addIndexItems(const std::vector<chm::SitemapItem>& items, int depth) {
    for (const chm::SitemapItem& item : items) {
        QStringList locals;
        for (const chm::SitemapTopic& t : item.topics)
            if (!t.local.empty())
                locals << QString::fromStdString(t.local);
        auto* row = new QListWidgetItem(
            QString(depth * 4, QLatin1Char(' ')) + QString::fromStdString(item.name), m_index);
        row->setData(Qt::UserRole, locals);
        addIndexItems(item.children, depth + 1);
    }
}

void HelpViewer::indexFilterChanged(const QString& text) {
    if (text.isEmpty())
        return;
    for (int i = 0; i < m_index->count(); ++i) {
        QListWidgetItem* row = m_index->item(i);
        if (row->text().trimmed().startsWith(text, Qt::CaseInsensitive)) {
            m_index->setCurrentItem(row);
            m_index->scrollToItem(row, QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpViewer::indexItemActivated(QListWidgetItem* item) {
    if (!item)
        return;
    QStringList locals = item->data(Qt::UserRole).toStringList();
    if (!locals.isEmpty())
        showPage(locals.first());
}

void HelpViewer::contentsItemActivated(QTreeWidgetItem* item) {
    if (!item)
        return;
    QString local = item->data(0, Qt::UserRole).toString();
    if (!local.isEmpty())
        showPage(local);
}

bool HelpViewer::showPage(const QString& local) {
    QString target = local;
    if (target.contains(QLatin1String("::"))) {
        std::string file, page;
        splitHelpUrl(target.toStdString(), file, page);
        target = QString::fromStdString(page);
    }
    QString fragment;
    if (qsizetype hash = target.indexOf(QLatin1Char('#')); hash >= 0) {
        fragment = target.mid(hash + 1);
        target.truncate(hash);
    }
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (target.startsWith(QLatin1Char('/')))
        target.remove(0, 1);
    const chm::ReaderEntry* entry = m_archive->find(target.toStdString());
    if (!entry) {
        statusBar()->showMessage(QStringLiteral("找不到页面：%1").arg(local), 5000);
        return false;
    }
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setPath(QString::fromStdString(entry->name));
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    m_browser->setSource(url);
    updateActions();
    return true;
}

void HelpViewer::followLink(const QUrl& link) {
    QString scheme = link.scheme().toLower();
    if (scheme == QLatin1String("ms-its") || scheme == QLatin1String("mk") ||
        scheme == QLatin1String("its") || link.toString().contains(QLatin1String("::"))) {
        showPage(link.toString());
        return;
    }
    if (scheme.isEmpty() || scheme == QLatin1String(kScheme)) {
        QUrl resolved = m_browser->source().resolved(link);
        QString local = resolved.path();
        if (resolved.hasFragment())
            local += QLatin1Char('#') + resolved.fragment();
        showPage(local);
        return;
    }
    if (scheme == QLatin1String("javascript"))
        return;
    openExternal(link);
}

QString HelpViewer::startPage() const {
    for (const std::string* candidate :
         {&m_system.defaultTopic, m_window ? &m_window->defaultFile : nullptr,
          m_window ? &m_window->home : nullptr})
        if (candidate && !candidate->empty())
            return QString::fromStdString(*candidate);
    if (m_contents) {
        for (QTreeWidgetItemIterator it(m_contents); *it; ++it) {
            QString local = (*it)->data(0, Qt::UserRole).toString();
            if (!local.isEmpty())
                return local;
        }
    }
    for (const chm::ReaderEntry& e : m_archive->entries()) {
        QString name = QString::fromStdString(e.name);
        if (name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
            name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
            return name;
    }
    return {};
}

QString HelpViewer::homePage() const {
    if (m_window && !m_window->home.empty())
        return QString::fromStdString(m_window->home);
    return startPage();
}

void HelpViewer::goHome() {
    QString home = homePage();
    if (!home.isEmpty())
        showPage(home);
}

} // namespace hh
