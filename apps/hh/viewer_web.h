// The browser engine behind the viewer's page area (a module of its own): the ms-its scheme
// that serves pages from inside help files, the one gate every request of every page passes,
// and the page that keeps links, new windows and downloads inside the viewer.
#pragma once

#include "help_document.h"
#include "page_view.h"

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;
class QWebEngineView;

namespace hh {

class HelpSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit HelpSchemeHandler(HelpLibrary& library, QObject* parent = nullptr);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    HelpLibrary& m_library;
};

// Every request of every page, sub-resources and scripts' own requests included, passes here:
// help-file addresses are brought to their one form, everything else is refused.
class HelpRequestGate : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit HelpRequestGate(HelpLibrary& library, QObject* parent = nullptr);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

signals:
    void refused(const QUrl& url, const QString& reason);

private:
    HelpLibrary& m_library;
};

class HelpPage : public QWebEnginePage {
    Q_OBJECT
public:
    HelpPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    std::function<void(const QUrl&)> openExternal;

signals:
    void refused(const QUrl& url, const QString& reason);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

// The page area on the engine: one profile that keeps nothing on disk, one page, one view.
class WebPageView : public PageView {
    Q_OBJECT
public:
    WebPageView(HelpLibrary& library, QWidget* parent);
    ~WebPageView() override;

    void load(const QUrl& url) override;
    QUrl url() const override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void back() override;
    void forward() override;
    void clearHistory() override;
    void setZoom(qreal factor) override;
    qreal zoom() const override;
    void find(const QString& text, bool backward,
              std::function<void(int active, int count)> done) override;
    void runScript(const QString& script, bool isolated,
                   std::function<void(const QVariant&)> done) override;
    void print(QPrinter* printer) override;
    void printToPdf(const QString& path) override;
    QWidget* surface() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWebEngineProfile* m_profile = nullptr;
    HelpPage* m_page = nullptr;
    QWebEngineView* m_view = nullptr;
};

} // namespace hh
