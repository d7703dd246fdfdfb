// The browser side of the viewer: the ms-its scheme that serves pages from inside help files,
// the one gate every request of every page passes, and the page that keeps links, new windows
// and downloads inside the viewer.
#pragma once

#include "help_document.h"

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <functional>
#include <map>
#include <memory>

class QWebEngineProfile;

namespace hh {

// Readies the browser engine: the schemes help files use, and the engine's own settings. Must
// run before the application object exists.
void prepareBrowserEngine();

// The help files pages may read: the open one, and others in its folder opened on demand.
class HelpLibrary {
public:
    void setMain(HelpDocument* document);
    HelpDocument* main() const { return m_main; }
    // The document for an absolute file name; nullptr when it cannot be opened.
    HelpDocument* document(const std::string& path);

private:
    HelpDocument* m_main = nullptr;
    std::map<std::string, std::unique_ptr<HelpDocument>> m_others;
};

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

    // Links that leave the help file; the desktop's browser unless a test replaces it.
    std::function<void(const QUrl&)> openExternal;

signals:
    void refused(const QUrl& url, const QString& reason);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

// The address of a page of a help file; `local` may carry "#anchor".
QUrl helpPageUrl(const std::string& file, const std::string& local);
// The help file and stored page name an address points at; false for other addresses.
bool pageOfUrl(const QUrl& url, std::string& file, std::string& page);

// A profile that keeps nothing on disk and reads pages only through `library`.
QWebEngineProfile* createHelpProfile(HelpLibrary& library, QObject* parent);

} // namespace hh
