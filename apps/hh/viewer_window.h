// The help viewer window: contents tree and index on the left, the page on the right, and
// every page, image and style sheet served from inside the help file.
#pragma once

#include "chm/reader_archive.h"
#include "chm/reader_settings.h"
#include "chm/reader_sitemap.h"
#include "chm/search_index.h"

#include <QMainWindow>
#include <QStringDecoder>
#include <QTextBrowser>
#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace hh {

// The scheme under which pages of the open help file are addressed ("chm:/dir/page.htm"), so
// that relative links and images resolve the way a browser resolves them.
inline constexpr const char* kScheme = "chm";

class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(chm::ReaderArchive& archive, QWidget* parent = nullptr);
    void setTextCodePage(unsigned codePage);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QString decodePage(const QByteArray& bytes) const;

    chm::ReaderArchive& m_archive;
    unsigned m_codePage = 1252;
};

class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit HelpViewer(std::unique_ptr<chm::ReaderArchive> archive, const QString& fileName,
                        QWidget* parent = nullptr);

    // Shows a page of the help file ("dir/page.htm#anchor"); false if it is not stored.
    bool showPage(const QString& local);
    // The page shown first: the default topic, else the default window's pages, else the
    // first entry of the contents.
    QString startPage() const;
    QString homePage() const;

    // Opens links that leave the help file; the desktop's browser unless a test replaces it.
    std::function<void(const QUrl&)> openExternal;

    QTreeWidget* contentsTree() const { return m_contents; }
    QListWidget* indexList() const { return m_index; }
    QLineEdit* indexFilter() const { return m_indexFilter; }
    QLineEdit* searchText() const { return m_searchText; }
    QPushButton* searchButton() const { return m_searchButton; }
    QListWidget* searchResults() const { return m_searchResults; }
    QTabWidget* navigationTabs() const { return m_tabs; }
    HelpBrowser* pageView() const { return m_browser; }

    void followLink(const QUrl& link);
    void goHome();

private:
    void createActions();
    void createPanes();
    void loadSettings(const QString& fileName);
    void loadContents();
    void loadIndex();
    void addContentsItems(QTreeWidgetItem* parent, const std::vector<chm::SitemapItem>& items);
    void addIndexItems(const std::vector<chm::SitemapItem>& items, int depth);
    void indexFilterChanged(const QString& text);
    void indexItemActivated(QListWidgetItem* item);
    void contentsItemActivated(QTreeWidgetItem* item);
    QWidget* createSearchPane();
    void runSearch();
    void searchItemActivated(QListWidgetItem* item);
    void updateActions();
    QString decode(const std::string& text) const;
    std::string readText(const std::string& name);
    std::string readSitemap(const QString& name);

    std::unique_ptr<chm::ReaderArchive> m_archive;
    chm::SystemSettings m_system;
    std::vector<chm::WindowSettings> m_windows;
    const chm::WindowSettings* m_window = nullptr;
    unsigned m_codePage = 1252;
    QString m_contentsFile, m_indexFile;

    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_indexFilter = nullptr;
    QListWidget* m_index = nullptr;
    QLineEdit* m_searchText = nullptr;
    QPushButton* m_searchButton = nullptr;
    QListWidget* m_searchResults = nullptr;
    std::vector<chm::TopicEntry> m_topics; // read on the first search
    HelpBrowser* m_browser = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_home = nullptr;
};

// A QStringDecoder for a Windows code page, or an invalid one if Qt lacks it.
QStringDecoder decoderForCodePage(unsigned codePage);

// The reason shown when a help file cannot be opened.
QString openFailureText(chm::ReadError error);

} // namespace hh
