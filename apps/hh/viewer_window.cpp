#include "viewer_window.h"

#include "viewer_models.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>

namespace hh {

namespace {

const QString kCaption = QStringLiteral("HTML 帮助");

// Zoom steps, as browsers offer them.
constexpr std::array<qreal, 15> kZoomSteps = {0.25, 0.33, 0.5, 0.67, 0.75, 0.8, 0.9, 1.0,
                                              1.1,  1.25, 1.5, 1.75, 2.0,  2.5, 3.0};
constexpr int kRecentFiles = 8;
// The per-file state of this many help files is kept; the oldest is forgotten first.
constexpr int kRememberedFiles = 100;

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QSettings viewerSettings() {
    // The viewer's own settings; the main program keeps none.
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("chmquorlin"),
                     QStringLiteral("hh"));
}

QString stateGroup(const QString& path) {
    return QStringLiteral("files/") +
           QString::fromLatin1(
               QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// Terms of a full-text query as the user typed them: blanks (also the ideographic one) part them.
QStringList queryTerms(const QString& query) {
    QString spaced = query;
    spaced.replace(QChar(0x3000), QLatin1Char(' '));
    return spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

int chooseTopicDialog(QWidget* parent, const QString& keyword, const QStringList& titles) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("已找到的主题"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QStringLiteral("“%1”的主题。单击一个主题，然后单击“显示”。").arg(keyword)));
    auto* list = new QListWidget;
    list->addItems(titles);
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("显示(&D)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    dialog.resize(420, 300);
    return dialog.exec() == QDialog::Accepted ? list->currentRow() : -1;
}

} // namespace

QString highlightScript(const QStringList& terms) {
    const QString list = QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(terms)).toJson(QJsonDocument::Compact));
    return QStringLiteral(R"JS((function (terms) {
    terms = terms.map(function (t) { return t.toLowerCase(); }).filter(function (t) { return t.length; });
    if (!terms.length || !document.body) return 0;
    var skip = {SCRIPT: 1, STYLE: 1, MARK: 1, TEXTAREA: 1, NOSCRIPT: 1};
    var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
        acceptNode: function (n) { return skip[n.parentNode.nodeName] ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT; }
    });
    var nodes = [];
    while (walker.nextNode()) nodes.push(walker.currentNode);
    var count = 0;
    nodes.forEach(function (node) {
        var text = node.nodeValue, low = text.toLowerCase(), pos = 0, spans = [];
        for (;;) {
            var best = -1, len = 0;
            terms.forEach(function (t) {
                var i = low.indexOf(t, pos);
                if (i >= 0 && (best < 0 || i < best || (i === best && t.length > len))) { best = i; len = t.length; }
            });
            if (best < 0) break;
            spans.push([best, len]);
            pos = best + len;
        }
        if (!spans.length) return;
        var out = document.createDocumentFragment(), at = 0;
        spans.forEach(function (s) {
            out.appendChild(document.createTextNode(text.slice(at, s[0])));
            var mark = document.createElement('mark');
            mark.className = 'quorlin-search-hit';
            mark.textContent = text.slice(s[0], s[0] + s[1]);
            out.appendChild(mark);
            at = s[0] + s[1];
            ++count;
        });
        out.appendChild(document.createTextNode(text.slice(at)));
        node.parentNode.replaceChild(out, node);
    });
    var first = document.querySelector('mark.quorlin-search-hit');
    if (first) first.scrollIntoView({block: 'center'});
    return count;
})(%1))JS")
        .arg(list);
}

HelpViewer::HelpViewer(QWidget* parent) : QMainWindow(parent) {
    openExternal = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    showMessage = [this](const QString& text) { QMessageBox::warning(this, kCaption, text); };
    chooseTopic = [this](const QString& keyword, const QStringList& titles) {
        return chooseTopicDialog(this, keyword, titles);
    };
    chooseHelpFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("打开帮助文件"), QString(),
                                            QStringLiteral("HTML 帮助文件 (*.chm);;所有文件 (*)"));
    };
    choosePdfFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("打印为 PDF"), suggested,
                                            QStringLiteral("PDF 文件 (*.pdf)"));
    };

    setWindowTitle(kCaption);
    setAcceptDrops(true);
    createActions();
    createMenus();
    createToolBar();
    m_center = new QStackedWidget;
    m_center->addWidget(createWelcome());
    m_splitter = new QSplitter;
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(createNavigation());
    m_splitter->addWidget(createPageArea());
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({260, 640});
    m_center->addWidget(m_splitter);
    setCentralWidget(m_center);
    statusBar();
    // Roomy by default, never larger than the screen; a help file opened before keeps its own.
    QSize size(1100, 780);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
    updateActions();
}

HelpViewer::~HelpViewer() {
    // The page view reads from the library; it goes first.
    delete m_view;
    m_library.setMain(nullptr);
}

void HelpViewer::createActions() {
    auto make = [this](const QString& text, const char* name, const QKeySequence& key,
                       void (HelpViewer::*slot)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        if (!key.isEmpty())
            action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    m_open = make(QStringLiteral("打开(&O)…"), "actionOpen", QKeySequence::Open,
                  &HelpViewer::openFromDialog);
    m_print =
        make(QStringLiteral("打印(&P)…"), "actionPrint", QKeySequence::Print, &HelpViewer::print);
    m_printPdf = make(QStringLiteral("打印为 PDF(&D)…"), "actionPrintPdf", QKeySequence(),
                      &HelpViewer::printToPdf);
    m_back =
        make(QStringLiteral("后退(&B)"), "actionBack", QKeySequence::Back, &HelpViewer::goBack);
    m_forward = make(QStringLiteral("前进(&F)"), "actionForward", QKeySequence::Forward,
                     &HelpViewer::goForward);
    m_home = make(QStringLiteral("主页(&H)"), "actionHome", QKeySequence(Qt::ALT | Qt::Key_Home),
                  &HelpViewer::goHome);
    m_previous = make(QStringLiteral("上一主题(&R)"), "actionPreviousTopic",
                      QKeySequence(Qt::ALT | Qt::Key_Up), &HelpViewer::previousTopic);
    m_next = make(QStringLiteral("下一主题(&N)"), "actionNextTopic",
                  QKeySequence(Qt::ALT | Qt::Key_Down), &HelpViewer::nextTopic);
    m_find = make(QStringLiteral("在此页中查找(&F)…"), "actionFind", QKeySequence::Find,
                  &HelpViewer::showFindBar);
    m_findNext = make(QStringLiteral("查找下一个(&N)"), "actionFindNext", QKeySequence::FindNext,
                      &HelpViewer::findNext);
    m_findPrevious = make(QStringLiteral("查找上一个(&V)"), "actionFindPrevious",
                          QKeySequence::FindPrevious, &HelpViewer::findPrevious);
    m_zoomIn =
        make(QStringLiteral("放大(&I)"), "actionZoomIn", QKeySequence::ZoomIn, &HelpViewer::zoomIn);
    // Ctrl+= as well, where "+" needs the shift key.
    m_zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    m_zoomOut = make(QStringLiteral("缩小(&O)"), "actionZoomOut", QKeySequence::ZoomOut,
                     &HelpViewer::zoomOut);
    m_zoomReset = make(QStringLiteral("实际大小(&A)"), "actionZoomReset",
                       QKeySequence(Qt::CTRL | Qt::Key_0), &HelpViewer::zoomReset);

    QStyle* s = style(); // a handful of icons, looked up once
    m_back->setIcon(s->standardIcon(QStyle::SP_ArrowBack));
    m_forward->setIcon(s->standardIcon(QStyle::SP_ArrowForward));
    m_home->setIcon(s->standardIcon(QStyle::SP_DirHomeIcon));
    m_previous->setIcon(s->standardIcon(QStyle::SP_ArrowUp));
    m_next->setIcon(s->standardIcon(QStyle::SP_ArrowDown));
    m_open->setIcon(s->standardIcon(QStyle::SP_DialogOpenButton));
}

void HelpViewer::createMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->addAction(m_open);
    m_recentMenu = file->addMenu(QStringLiteral("最近打开的文件(&R)"));
    m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &HelpViewer::fillRecentMenu);
    file->addSeparator();
    file->addAction(m_print);
    file->addAction(m_printPdf);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    edit->addAction(m_find);
    edit->addAction(m_findNext);
    edit->addAction(m_findPrevious);

    QMenu* view = menuBar()->addMenu(QStringLiteral("查看(&V)"));
    view->addAction(m_zoomIn);
    view->addAction(m_zoomOut);
    view->addAction(m_zoomReset);

    QMenu* go = menuBar()->addMenu(QStringLiteral("转到(&G)"));
    go->addAction(m_back);
    go->addAction(m_forward);
    go->addAction(m_home);
    go->addSeparator();
    go->addAction(m_previous);
    go->addAction(m_next);
}

void HelpViewer::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("工具栏"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setMovable(false);
    for (QAction* a : {m_back, m_forward, m_home, m_previous, m_next})
        bar->addAction(a);
    bar->addSeparator();
    bar->addAction(m_open);
}

QWidget* HelpViewer::createWelcome() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    auto* label = new QLabel(QStringLiteral("没有打开帮助文件。"));
    label->setAlignment(Qt::AlignCenter);
    auto* button = new QPushButton(QStringLiteral("打开(&O)…"));
    button->setObjectName(QStringLiteral("openButton"));
    connect(button, &QPushButton::clicked, this, &HelpViewer::openFromDialog);
    layout->addWidget(label);
    layout->addWidget(button, 0, Qt::AlignCenter);
    layout->addStretch();
    return page;
}

QWidget* HelpViewer::createNavigation() {
    m_contentsModel = new ContentsModel(this);
    m_contentsView = new QTreeView;
    m_contentsView->setObjectName(QStringLiteral("contentsTree"));
    m_contentsView->setHeaderHidden(true);
    m_contentsView->setUniformRowHeights(true);
    m_contentsView->setModel(m_contentsModel);
    auto open = [this](const QModelIndex& index) {
        const QString local = index.data(kLocalRole).toString();
        if (!local.isEmpty()) {
            m_currentNode = m_contentsModel->nodeOf(index);
            showPage(local);
        }
    };
    connect(m_contentsView, &QTreeView::clicked, this, open);
    connect(m_contentsView, &QTreeView::activated, this, open);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("navigationTabs"));
    m_tabs->addTab(m_contentsView, QStringLiteral("目录(&C)"));
    m_tabs->addTab(createIndexPane(), QStringLiteral("索引(&N)"));
    m_searchPane = createSearchPane();
    // A tab chosen by its key (Alt+C, Alt+N, Alt+S) is ready for typing at once.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        QWidget* pane = m_tabs->currentWidget();
        if (pane == m_contentsView)
            m_contentsView->setFocus();
        else if (pane == m_searchPane)
            m_searchText->setFocus();
        else if (pane)
            m_indexFilter->setFocus();
    });
    return m_tabs;
}

QWidget* HelpViewer::createIndexPane() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(4, 4, 4, 4);
    m_indexFilter = new QLineEdit;
    m_indexFilter->setObjectName(QStringLiteral("indexFilter"));
    m_indexFilter->setPlaceholderText(QStringLiteral("键入要查找的关键字"));
    m_indexModel = new IndexModel(this);
    m_indexView = new QListView;
    m_indexView->setObjectName(QStringLiteral("indexList"));
    m_indexView->setUniformItemSizes(true);
    m_indexView->setModel(m_indexModel);
    auto* show = new QPushButton(QStringLiteral("显示(&D)"));
    layout->addWidget(m_indexFilter);
    layout->addWidget(m_indexView);
    layout->addWidget(show, 0, Qt::AlignRight);
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpViewer::indexFilterChanged);
    auto current = [this] { activateIndexRow(m_indexView->currentIndex().row()); };
    connect(m_indexFilter, &QLineEdit::returnPressed, this, current);
    connect(show, &QPushButton::clicked, this, current);
    connect(m_indexView, &QListView::activated, this,
            [this](const QModelIndex& index) { activateIndexRow(index.row()); });
    return pane;
}

QWidget* HelpViewer::createSearchPane() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(4, 4, 4, 4);
    m_searchText = new QLineEdit;
    m_searchText->setObjectName(QStringLiteral("searchText"));
    m_searchText->setPlaceholderText(QStringLiteral("键入要查找的单词"));
    auto* list = new QPushButton(QStringLiteral("列出主题(&L)"));
    list->setObjectName(QStringLiteral("searchButton"));
    m_searchResults = new QListWidget;
    m_searchResults->setObjectName(QStringLiteral("searchResults"));
    layout->addWidget(m_searchText);
    layout->addWidget(list);
    layout->addWidget(m_searchResults);
    connect(list, &QPushButton::clicked, this, &HelpViewer::runSearch);
    connect(m_searchText, &QLineEdit::returnPressed, this, &HelpViewer::runSearch);
    connect(m_searchResults, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openSearchResult(m_searchResults->row(item)); });
    return pane;
}

QWidget* HelpViewer::createPageArea() {
    auto* area = new QWidget;
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pageStack = new QStackedWidget;
    m_pageStack->addWidget(new QWidget); // stands in until the engine has started
    layout->addWidget(m_pageStack, 1);

    m_findBar = new QWidget;
    m_findBar->setObjectName(QStringLiteral("findBar"));
    auto* bar = new QHBoxLayout(m_findBar);
    bar->setContentsMargins(4, 2, 4, 2);
    m_findText = new QLineEdit;
    m_findText->setObjectName(QStringLiteral("findText"));
    m_findText->setPlaceholderText(QStringLiteral("在此页中查找"));
    m_findText->installEventFilter(this);
    auto button = [&](const QString& text, const char* name, void (HelpViewer::*slot)()) {
        auto* b = new QToolButton;
        b->setText(text);
        b->setObjectName(QLatin1String(name));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, slot);
        return b;
    };
    m_findStatus = new QLabel;
    m_findStatus->setObjectName(QStringLiteral("findStatus"));
    bar->addWidget(new QLabel(QStringLiteral("查找：")));
    bar->addWidget(m_findText, 1);
    bar->addWidget(
        button(QStringLiteral("上一个"), "findPreviousButton", &HelpViewer::findPrevious));
    bar->addWidget(button(QStringLiteral("下一个"), "findNextButton", &HelpViewer::findNext));
    bar->addWidget(m_findStatus);
    auto* close = new QToolButton;
    close->setText(QStringLiteral("关闭"));
    close->setAutoRaise(true);
    connect(close, &QToolButton::clicked, this, [this] {
        m_findBar->hide();
        if (m_view)
            m_view->find(QString(), false, nullptr);
    });
    bar->addWidget(close);
    connect(m_findText, &QLineEdit::textChanged, this, [this] { find(false); });
    connect(m_findText, &QLineEdit::returnPressed, this, &HelpViewer::findNext);
    m_findBar->hide();
    layout->addWidget(m_findBar);
    return area;
}

PageView* HelpViewer::pageView() {
    if (m_view)
        return m_view;
    QString error;
    m_view = createPageView(m_library, nullptr, error);
    if (!m_view) {
        showMessage(error);
        return nullptr;
    }
    m_view->setObjectName(QStringLiteral("pageView"));
    m_view->openExternal = [this](const QUrl& url) { openExternal(url); };
    m_view->setZoom(m_zoom);
    connect(m_view, &PageView::refused, this, [this](const QUrl& url, const QString& why) {
        statusMessage(QStringLiteral("已阻止 %1：%2").arg(url.toDisplayString(), why));
    });
    connect(m_view, &PageView::downloadRefused, this, [this](const QString& name) {
        showMessage(QStringLiteral("查看器不下载文件：“%1”不是可以显示的页面。").arg(name));
    });
    connect(m_view, &PageView::linkHovered, this, [this](const QString& link) {
        std::string file, stored;
        const QUrl url(link);
        if (m_document && pageOfUrl(url, file, stored) && file == m_document->path())
            statusMessage(utf8(stored).mid(1) +
                              (url.hasFragment() ? QLatin1Char('#') + url.fragment() : QString()),
                          0);
        else
            statusMessage(link, 0);
    });
    connect(m_view, &PageView::urlChanged, this, &HelpViewer::pageUrlChanged);
    connect(m_view, &PageView::loadFinished, this, &HelpViewer::pageLoadFinished);
    connect(m_view, &PageView::printFinished, this, [this](bool ok) {
        m_printer.reset();
        statusMessage(ok ? QStringLiteral("已打印。") : QStringLiteral("打印失败。"));
    });
    connect(m_view, &PageView::pdfPrintingFinished, this, [this](const QString& path, bool ok) {
        if (ok)
            statusMessage(QStringLiteral("已保存为 PDF：%1").arg(path));
        else
            showMessage(QStringLiteral("无法写入 PDF 文件“%1”。").arg(path));
    });
    // Mouse side buttons and Ctrl+wheel arrive where the engine draws.
    connect(m_view, &PageView::surfaceChanged, this, [this](QWidget* surface) {
        if (surface)
            surface->installEventFilter(this);
    });
    m_pageStack->addWidget(m_view);
    m_pageStack->setCurrentWidget(m_view);
    if (!m_pendingUrl.isEmpty())
        m_view->load(std::exchange(m_pendingUrl, QUrl()));
    return m_view;
}

bool HelpViewer::openFile(const QString& path, const QString& page) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    auto document = std::make_unique<HelpDocument>();
    const chm::ReadError error = document->open(absolute.toStdString());
    if (error != chm::ReadError::Ok) {
        showMessage(
            QStringLiteral("无法打开帮助文件“%1”：%2。")
                .arg(QDir::toNativeSeparators(path), QString::fromUtf8(chm::readErrorText(error))));
        return false;
    }
    saveState();
    setDocument(std::move(document));
    QString start = page;
    restoreState(start);
    addRecentFile(absolute);
    if (start.isEmpty() || !showPage(start))
        showPage(utf8(m_document->startPage()));
    return true;
}

void HelpViewer::setDocument(std::unique_ptr<HelpDocument> document) {
    m_contentsModel->setDocument(nullptr);
    m_indexModel->setDocument(nullptr);
    m_library.setMain(document.get());
    m_document = std::move(document);
    m_contentsModel->setDocument(m_document.get());
    m_indexModel->setDocument(m_document.get());
    // Opening the first level costs one row per top entry; deeper levels open on demand.
    for (int row = 0; row < m_contentsModel->rowCount(); ++row)
        if (m_contentsModel->rowCount(m_contentsModel->index(row, 0)) > 0 &&
            m_contentsModel->rowCount() <= 50)
            m_contentsView->expand(m_contentsModel->index(row, 0));
    m_currentNode = -1;
    m_currentPage.clear();
    m_searchResults->clear();
    m_searchText->clear();
    m_indexFilter->clear();
    const int searchTab = m_tabs->indexOf(m_searchPane);
    if (m_document->hasSearch() && searchTab < 0)
        m_tabs->addTab(m_searchPane, QStringLiteral("搜索(&S)"));
    else if (!m_document->hasSearch() && searchTab >= 0)
        m_tabs->removeTab(searchTab);
    QString title = utf8(m_document->title());
    if (title.isEmpty())
        title = QFileInfo(utf8(m_document->path())).fileName();
    setWindowTitle(title);
    if (m_document->navigationWidth() > 0)
        m_splitter->setSizes({m_document->navigationWidth(),
                              std::max(200, width() - m_document->navigationWidth())});
    m_center->setCurrentWidget(m_splitter);
    if (m_view)
        m_view->clearHistory();
    updateActions();
}

bool HelpViewer::showPage(const QString& local) {
    if (!m_document)
        return false;
    const std::string stored = m_document->storedName(local.toStdString());
    if (stored.empty()) {
        statusMessage(QStringLiteral("找不到页面：%1").arg(local));
        return false;
    }
    std::string withAnchor = stored;
    if (const qsizetype hash = local.indexOf(QLatin1Char('#')); hash >= 0)
        withAnchor += local.mid(hash).toStdString();
    loadUrl(helpPageUrl(m_document->path(), withAnchor));
    return true;
}

void HelpViewer::loadUrl(const QUrl& url) {
    if (m_view)
        m_view->load(url);
    else
        m_pendingUrl = url; // the engine starts once the window is up
}

void HelpViewer::pageUrlChanged(const QUrl& url) {
    std::string file, page;
    if (!m_document || !pageOfUrl(url, file, page) || file != m_document->path()) {
        updateActions();
        return;
    }
    const std::string stored = m_document->storedName(page);
    m_currentPage = utf8(stored);
    const int node = m_document->contentsNodeForPage(stored);
    // A page the contents names twice keeps the entry the reader chose.
    const bool chosen =
        m_currentNode >= 0 &&
        m_document->storedName(
            m_document->contents()[static_cast<std::size_t>(m_currentNode)].local) == stored;
    if (node >= 0 && !chosen)
        m_currentNode = node;
    if (node >= 0)
        syncContents(m_currentNode);
    updateActions();
}

void HelpViewer::syncContents(int node) {
    const QModelIndex index = m_contentsModel->indexOfNode(node);
    if (!index.isValid())
        return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        m_contentsView->expand(up);
    m_contentsView->setCurrentIndex(index);
    m_contentsView->scrollTo(index);
}

void HelpViewer::pageLoadFinished(bool ok) {
    updateActions();
    if (!ok || m_highlightTerms.isEmpty()) {
        emit pageReady(ok);
        return;
    }
    const QString script = highlightScript(std::exchange(m_highlightTerms, {}));
    // In a world of its own, so that no page script can interfere with the marking.
    m_view->runScript(script, true, [this](const QVariant&) { emit pageReady(true); });
}

void HelpViewer::updateActions() {
    const bool open = m_document != nullptr;
    m_back->setEnabled(m_view && m_view->canGoBack());
    m_forward->setEnabled(m_view && m_view->canGoForward());
    m_home->setEnabled(open && !m_document->homePage().empty());
    const auto& order = open ? m_document->readingOrder() : std::vector<int>();
    const auto at = std::find(order.begin(), order.end(), m_currentNode);
    m_previous->setEnabled(at != order.end() && at != order.begin());
    m_next->setEnabled(!order.empty() &&
                       (at == order.end() ? m_currentNode < 0 : at + 1 != order.end()));
    for (QAction* a : {m_print, m_printPdf, m_find, m_findNext, m_findPrevious, m_zoomIn, m_zoomOut,
                       m_zoomReset})
        a->setEnabled(open);
}

void HelpViewer::goBack() {
    if (m_view)
        m_view->back();
}

void HelpViewer::goForward() {
    if (m_view)
        m_view->forward();
}

void HelpViewer::goHome() {
    if (m_document)
        showPage(utf8(m_document->homePage()));
}

void HelpViewer::previousTopic() {
    if (!m_document)
        return;
    const auto& order = m_document->readingOrder();
    const auto at = std::find(order.begin(), order.end(), m_currentNode);
    if (at == order.end() || at == order.begin())
        return;
    m_currentNode = *(at - 1);
    showPage(utf8(m_document->contents()[static_cast<std::size_t>(m_currentNode)].local));
    syncContents(m_currentNode);
    updateActions();
}

void HelpViewer::nextTopic() {
    if (!m_document || m_document->readingOrder().empty())
        return;
    const auto& order = m_document->readingOrder();
    auto at = std::find(order.begin(), order.end(), m_currentNode);
    if (at != order.end() && at + 1 == order.end())
        return;
    m_currentNode = at == order.end() ? order.front() : *(at + 1);
    showPage(utf8(m_document->contents()[static_cast<std::size_t>(m_currentNode)].local));
    syncContents(m_currentNode);
    updateActions();
}

void HelpViewer::setZoom(qreal factor) {
    m_zoom = std::clamp(factor, kZoomSteps.front(), kZoomSteps.back());
    if (m_view)
        m_view->setZoom(m_zoom);
}

// Said when the reader zooms, not when a remembered zoom is put back.
void HelpViewer::showZoom() {
    statusMessage(QStringLiteral("缩放：%1%").arg(qRound(m_zoom * 100)), 2000);
}

void HelpViewer::zoomIn() {
    const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), m_zoom + 0.001);
    setZoom(next == kZoomSteps.end() ? kZoomSteps.back() : *next);
    showZoom();
}

void HelpViewer::zoomOut() {
    const auto below = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), m_zoom - 0.001);
    setZoom(below == kZoomSteps.begin() ? kZoomSteps.front() : *(below - 1));
    showZoom();
}

void HelpViewer::zoomReset() {
    setZoom(1.0);
    showZoom();
}

void HelpViewer::showFindBar() {
    m_findBar->show();
    m_findText->setFocus();
    m_findText->selectAll();
}

void HelpViewer::findNext() {
    if (!m_findBar->isVisible() || m_findText->text().isEmpty())
        showFindBar();
    else
        find(false);
}

void HelpViewer::findPrevious() {
    if (!m_findBar->isVisible() || m_findText->text().isEmpty())
        showFindBar();
    else
        find(true);
}

void HelpViewer::find(bool backward) {
    if (!m_view)
        return;
    const QString wanted = m_findText->text();
    m_view->find(wanted, backward, [this, wanted](int active, int count) {
        if (wanted != m_findText->text())
            return; // the user typed on
        if (wanted.isEmpty())
            m_findStatus->clear();
        else if (count == 0)
            m_findStatus->setText(QStringLiteral("找不到匹配项"));
        else
            m_findStatus->setText(QStringLiteral("第 %1 项，共 %2 项").arg(active).arg(count));
        m_findText->setStyleSheet(
            !wanted.isEmpty() && count == 0 ? QStringLiteral("background:#ffd6d6") : QString());
    });
}

void HelpViewer::print() {
    if (!pageView() || m_printer)
        return;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("打印"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_printer = std::move(printer); // kept until the engine has printed
    m_view->print(m_printer.get());
}

void HelpViewer::printToPdf() {
    if (!m_document || !pageView())
        return;
    const QString suggested =
        QFileInfo(utf8(m_document->path())).completeBaseName() + QStringLiteral(".pdf");
    const QString path = choosePdfFile(suggested);
    if (!path.isEmpty())
        m_view->printToPdf(path);
}

void HelpViewer::openFromDialog() {
    const QString path = chooseHelpFile();
    if (!path.isEmpty())
        openFile(path);
}

void HelpViewer::indexFilterChanged(const QString& text) {
    if (text.trimmed().isEmpty())
        return;
    const int row = m_indexModel->rowForPrefix(text);
    if (row < 0)
        return;
    const QModelIndex index = m_indexModel->index(row);
    m_indexView->setCurrentIndex(index);
    m_indexView->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void HelpViewer::activateIndexRow(int row) {
    if (!m_document || row < 0 || row >= static_cast<int>(m_document->index().size()))
        return;
    const IndexEntry& entry = m_document->index()[static_cast<std::size_t>(row)];
    if (entry.topics.empty()) {
        if (!entry.seeAlso.empty())
            m_indexFilter->setText(utf8(entry.seeAlso));
        return;
    }
    std::size_t chosen = 0;
    if (entry.topics.size() > 1) {
        QStringList titles;
        for (const IndexTopic& t : entry.topics)
            titles << utf8(t.title);
        const int pick = chooseTopic(utf8(entry.keyword), titles);
        if (pick < 0 || pick >= titles.size())
            return;
        chosen = static_cast<std::size_t>(pick);
    }
    showPage(utf8(entry.topics[chosen].local));
}

void HelpViewer::runSearch() {
    m_searchResults->clear();
    const QString query = m_searchText->text().trimmed();
    if (!m_document || query.isEmpty())
        return;
    std::vector<SearchResult> results;
    const chm::SearchError error = m_document->search(query.toStdString(), results);
    if (error != chm::SearchError::Ok) {
        statusMessage(error == chm::SearchError::NoIndex
                          ? QStringLiteral("这个帮助文件没有全文搜索索引。")
                          : QStringLiteral("无法读取全文搜索索引，帮助文件可能已损坏。"));
        return;
    }
    for (const SearchResult& r : results) {
        auto* row = new QListWidgetItem(utf8(r.title), m_searchResults);
        row->setData(kLocalRole, utf8(r.local));
        row->setToolTip(
            QStringLiteral("含 %1 个查找词，共 %2 处").arg(r.termsFound).arg(r.occurrences));
    }
    statusMessage(results.empty() ? QStringLiteral("没有找到主题。")
                                  : QStringLiteral("找到 %1 个主题").arg(results.size()));
    if (!results.empty())
        m_searchResults->setCurrentRow(0);
}

void HelpViewer::openSearchResult(int row) {
    QListWidgetItem* item = m_searchResults->item(row);
    if (!item)
        return;
    m_highlightTerms = queryTerms(m_searchText->text());
    if (!showPage(item->data(kLocalRole).toString()))
        m_highlightTerms.clear();
}

QStringList HelpViewer::recentFiles() const {
    return viewerSettings().value(QStringLiteral("recentFiles")).toStringList();
}

void HelpViewer::addRecentFile(const QString& path) {
    QSettings settings = viewerSettings();
    QStringList files = settings.value(QStringLiteral("recentFiles")).toStringList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles)
        files.removeLast();
    settings.setValue(QStringLiteral("recentFiles"), files);
}

void HelpViewer::fillRecentMenu() {
    m_recentMenu->clear();
    const QStringList files = recentFiles();
    int n = 0;
    for (const QString& file : files) {
        QAction* a = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(file));
        connect(a, &QAction::triggered, this, [this, file] { openFile(file); });
    }
    if (files.isEmpty())
        m_recentMenu->addAction(QStringLiteral("（无）"))->setEnabled(false);
}

void HelpViewer::saveState() {
    if (!m_document)
        return;
    const QString path = utf8(m_document->path());
    const QString group = stateGroup(path);
    QSettings settings = viewerSettings();
    QStringList order = settings.value(QStringLiteral("fileOrder")).toStringList();
    order.removeAll(group);
    order.prepend(group);
    while (order.size() > kRememberedFiles)
        settings.remove(order.takeLast());
    settings.setValue(QStringLiteral("fileOrder"), order);
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("path"), path);
    settings.setValue(QStringLiteral("size"), size());
    settings.setValue(QStringLiteral("splitter"), m_splitter->saveState());
    settings.setValue(QStringLiteral("page"), m_currentPage);
    settings.setValue(QStringLiteral("zoom"), m_zoom);
    settings.endGroup();
}

void HelpViewer::restoreState(QString& page) {
    QSettings settings = viewerSettings();
    settings.beginGroup(stateGroup(utf8(m_document->path())));
    if (!settings.contains(QStringLiteral("path")))
        return;
    const QSize remembered = settings.value(QStringLiteral("size")).toSize();
    if (remembered.isValid() && !isMaximized())
        resize(remembered);
    m_splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
    setZoom(settings.value(QStringLiteral("zoom"), 1.0).toReal());
    if (page.isEmpty())
        page = settings.value(QStringLiteral("page")).toString();
}

void HelpViewer::statusMessage(const QString& text, int timeout) {
    statusBar()->showMessage(text, timeout);
}

void HelpViewer::closeEvent(QCloseEvent* event) {
    saveState();
    event->accept();
}

void HelpViewer::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile() &&
        urls.front().toLocalFile().endsWith(QLatin1String(".chm"), Qt::CaseInsensitive))
        event->acceptProposedAction();
}

void HelpViewer::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return;
    event->acceptProposedAction();
    // Opened once the drop has finished: a message box inside it would stall the drag.
    const QString path = urls.front().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

bool HelpViewer::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::BackButton) {
            goBack();
            return true;
        }
        if (mouse->button() == Qt::ForwardButton) {
            goForward();
            return true;
        }
        break;
    }
    case QEvent::Wheel: {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            if (wheel->angleDelta().y() > 0)
                zoomIn();
            else if (wheel->angleDelta().y() < 0)
                zoomOut();
            return true;
        }
        break;
    }
    case QEvent::KeyPress:
        if (watched == m_findText) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape) {
                m_findBar->hide();
                if (m_view) {
                    m_view->find(QString(), false, nullptr);
                    m_view->setFocus();
                }
                return true;
            }
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & Qt::ShiftModifier)) {
                findPrevious();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace hh
