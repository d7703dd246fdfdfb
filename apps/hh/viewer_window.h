// The help viewer window: contents, index and search on the left, the page on the right in a
// browser engine that reads every page, style sheet and script from inside the help file.
#pragma once

#include "help_document.h"
#include "page_view.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPrinter;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTreeView;

namespace hh {

class ContentsModel;
class IndexModel;

class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    ~HelpViewer() override;

    // Opens a help file in this window, at `page` or where the reader left it. A file that
    // cannot be read gets a message naming it and the reason, and what was open stays open.
    bool openFile(const QString& path, const QString& page = {});
    // Shows a page of the open file ("dir/page.htm#anchor"); false when it is not stored.
    bool showPage(const QString& local);
    const HelpDocument* document() const { return m_document.get(); }
    // The stored name of the page shown ("/dir/page.htm"); empty before the first one.
    QString currentPage() const { return m_currentPage; }

    // The page view, created on first use: the window shows before the browser engine starts.
    PageView* pageView();
    QTabWidget* navigationTabs() const { return m_tabs; }
    QTreeView* contentsTree() const { return m_contentsView; }
    QLineEdit* indexFilter() const { return m_indexFilter; }
    QListView* indexList() const { return m_indexView; }
    QLineEdit* searchText() const { return m_searchText; }
    QListWidget* searchResults() const { return m_searchResults; }
    QLineEdit* findText() const { return m_findText; }
    QLabel* findStatus() const { return m_findStatus; }
    QStringList recentFiles() const;

    // Dialogs and the desktop, replaced by tests.
    std::function<void(const QUrl&)> openExternal;
    std::function<void(const QString& text)> showMessage;
    // The topic chosen among several an index keyword names; -1 when none was.
    std::function<int(const QString& keyword, const QStringList& titles)> chooseTopic;
    std::function<QString()> chooseHelpFile;
    std::function<QString(const QString& suggested)> choosePdfFile;

    void goBack();
    void goForward();
    void goHome();
    void previousTopic();
    void nextTopic();
    void zoomIn();
    void zoomOut();
    void zoomReset();
    qreal zoomFactor() const { return m_zoom; }
    void showFindBar();
    void findNext();
    void findPrevious();
    void runSearch();
    void activateIndexRow(int row);
    void openSearchResult(int row);

signals:
    // A page finished loading into the view (after any search terms were marked in it).
    void pageReady(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    QWidget* createNavigation();
    QWidget* createPageArea();
    QWidget* createWelcome();
    QWidget* createIndexPane();
    QWidget* createSearchPane();
    void setDocument(std::unique_ptr<HelpDocument> document);
    void loadUrl(const QUrl& url);
    void pageUrlChanged(const QUrl& url);
    void pageLoadFinished(bool ok);
    void syncContents(int node);
    void updateActions();
    void indexFilterChanged(const QString& text);
    void find(bool backward);
    void setZoom(qreal factor);
    void showZoom();
    void print();
    void printToPdf();
    void openFromDialog();
    void addRecentFile(const QString& path);
    void fillRecentMenu();
    void saveState();
    void restoreState(QString& page);
    void statusMessage(const QString& text, int timeout = 5000);

    std::unique_ptr<HelpDocument> m_document;
    HelpLibrary m_library;
    PageView* m_view = nullptr;
    QUrl m_pendingUrl;
    QString m_currentPage;
    int m_currentNode = -1;
    qreal m_zoom = 1.0;
    QStringList m_highlightTerms; // marked in the next page loaded, from a full-text search
    std::unique_ptr<QPrinter> m_printer;

    QStackedWidget* m_center = nullptr;
    QSplitter* m_splitter = nullptr;
    QStackedWidget* m_pageStack = nullptr;
    QTabWidget* m_tabs = nullptr;
    QTreeView* m_contentsView = nullptr;
    ContentsModel* m_contentsModel = nullptr;
    QLineEdit* m_indexFilter = nullptr;
    QListView* m_indexView = nullptr;
    IndexModel* m_indexModel = nullptr;
    QWidget* m_searchPane = nullptr;
    QLineEdit* m_searchText = nullptr;
    QListWidget* m_searchResults = nullptr;
    QWidget* m_findBar = nullptr;
    QLineEdit* m_findText = nullptr;
    QLabel* m_findStatus = nullptr;
    QMenu* m_recentMenu = nullptr;

    QAction* m_open = nullptr;
    QAction* m_print = nullptr;
    QAction* m_printPdf = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_home = nullptr;
    QAction* m_previous = nullptr;
    QAction* m_next = nullptr;
    QAction* m_find = nullptr;
    QAction* m_findNext = nullptr;
    QAction* m_findPrevious = nullptr;
    QAction* m_zoomIn = nullptr;
    QAction* m_zoomOut = nullptr;
    QAction* m_zoomReset = nullptr;
};

// Marks every search term in the page's text (letter case aside); gives the count of marks.
QString highlightScript(const QStringList& terms);

} // namespace hh
