// The page area of the viewer window as the window sees it. The browser engine behind it lives
// in a module of its own, loaded once the window is up: the engine's libraries take longer to
// load than everything else the window needs, and the reader should not wait for them.
#pragma once

#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <string>

class QPrinter;

namespace hh {

class HelpLibrary;

class PageView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void load(const QUrl& url) = 0;
    virtual QUrl url() const = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void clearHistory() = 0;
    virtual void setZoom(qreal factor) = 0;
    virtual qreal zoom() const = 0;
    // Finds and highlights text in the page (an empty text clears); `done` gets the active
    // match, counted from 1, and the number of matches.
    virtual void find(const QString& text, bool backward,
                      std::function<void(int active, int count)> done) = 0;
    // Runs a script in the page, in the page's own world or in one of ours that no script of
    // the page can reach; `done` gets its result.
    virtual void runScript(const QString& script, bool isolated,
                           std::function<void(const QVariant&)> done) = 0;
    // The printer is the caller's until printFinished.
    virtual void print(QPrinter* printer) = 0;
    virtual void printToPdf(const QString& path) = 0;
    // The widget the engine draws into, where mouse buttons and the wheel arrive; it may be
    // replaced, and surfaceChanged says so.
    virtual QWidget* surface() const = 0;

    // Links that leave the help file; the desktop's browser unless a test replaces it.
    std::function<void(const QUrl&)> openExternal;

signals:
    void urlChanged(const QUrl& url);
    void loadFinished(bool ok);
    void linkHovered(const QString& url);
    void refused(const QUrl& url, const QString& reason);
    void downloadRefused(const QString& name);
    void printFinished(bool ok);
    void pdfPrintingFinished(const QString& path, bool ok);
    void surfaceChanged(QWidget* surface);
};

// Settings that must be made before the application object exists and need no engine library.
void prepareApplication();

// A page view on `library`, loading the engine module on first use; nullptr, with `error` set
// to a sentence for the user, when the engine cannot be loaded.
PageView* createPageView(HelpLibrary& library, QWidget* parent, QString& error);

// The address of a page of a help file; `local` may carry "#anchor".
QUrl helpPageUrl(const std::string& file, const std::string& local);
// The help file and page an address points at; false for other addresses.
bool pageOfUrl(const QUrl& url, std::string& file, std::string& page);

} // namespace hh

// The engine module's one entry point, looked up by name.
extern "C" hh::PageView* quorlin_hh_create_page_view(hh::HelpLibrary* library, QWidget* parent);
