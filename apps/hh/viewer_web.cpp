#include "viewer_web.h"

#include "help_url.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <unistd.h> // POSIX only: geteuid (a Windows port drops the root check)

namespace hh {

namespace {

// "mk:@MSITStore:" and "its:" are older names for the same thing; they are registered only so
// that the browser asks us about them and the gate can send them on to "ms-its:".
const char* const kSchemes[] = {kHelpScheme, "its", "mk"};

QUrl urlForPath(const std::string& path, const QUrl& from) {
    QUrl url;
    url.setScheme(QLatin1String(kHelpScheme));
    url.setPath(QString::fromStdString(path), QUrl::DecodedMode);
    if (from.hasQuery())
        url.setQuery(from.query(QUrl::FullyEncoded), QUrl::StrictMode);
    if (from.hasFragment())
        url.setFragment(from.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    return url;
}

Route route(const QUrl& url, const std::string& contextFile) {
    return routeRequest(url.scheme().toLower().toStdString(),
                        url.path(QUrl::FullyDecoded).toStdString(), contextFile);
}

QByteArray errorPage(const QString& heading, const QString& detail) {
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;margin:2em}h2{color:#a00}</style>"
                          "</head><body><h2>%1</h2><p>%2</p></body></html>")
        .arg(heading.toHtmlEscaped(), detail.toHtmlEscaped())
        .toUtf8();
}

void replyWith(QWebEngineUrlRequestJob* job, const QByteArray& mimeType, QByteArray body) {
    auto* buffer = new QBuffer(job);
    buffer->setData(std::move(body));
    buffer->open(QIODevice::ReadOnly);
    job->reply(mimeType, buffer);
}

} // namespace

void prepareBrowserEngine() {
    // The engine refuses to start as root with its sandbox on, and tests and CI run as root.
    // Only then is the sandbox turned off; anyone else keeps it.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    for (const char* name : kSchemes) {
        QWebEngineUrlScheme scheme(name);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        // Local like file: (no remote page may load it), but without file:'s right to read
        // other local files.
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
        QWebEngineUrlScheme::registerScheme(scheme);
    }
}

void HelpLibrary::setMain(HelpDocument* document) {
    m_main = document;
    m_others.clear();
}

HelpDocument* HelpLibrary::document(const std::string& path) {
    if (m_main && path == m_main->path())
        return m_main;
    auto it = m_others.find(path);
    if (it == m_others.end()) {
        auto doc = std::make_unique<HelpDocument>();
        if (doc->open(path) != chm::ReadError::Ok)
            doc.reset();
        it = m_others.emplace(path, std::move(doc)).first;
    }
    return it->second.get();
}

HelpSchemeHandler::HelpSchemeHandler(HelpLibrary& library, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_library(library) {}

void HelpSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const std::string context = m_library.main() ? m_library.main()->path() : std::string();
    const Route r = route(url, context);
    if (r.kind == Route::Kind::Redirect) {
        job->redirect(urlForPath(r.path, url));
        return;
    }
    std::string file, page;
    if (r.kind != Route::Kind::Serve || !splitHelpPath(r.path, file, page)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const bool isPage = mimeTypeForName(page) == "text/html";
    HelpDocument* doc = m_library.document(file);
    if (!doc) {
        if (isPage)
            replyWith(
                job, "text/html",
                errorPage(
                    QStringLiteral("无法打开帮助文件"),
                    QStringLiteral("无法打开帮助文件“%1”。").arg(QString::fromStdString(file))));
        else
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const std::string stored = doc->storedName(page);
    Resource resource;
    const chm::ReadError error =
        stored.empty() ? chm::ReadError::NotFound : doc->read(stored, resource);
    if (error != chm::ReadError::Ok) {
        if (!isPage) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        } else if (error == chm::ReadError::NotFound) {
            replyWith(
                job, "text/html",
                errorPage(
                    QStringLiteral("找不到页面"),
                    QStringLiteral("帮助文件中没有页面“%1”。").arg(QString::fromStdString(page))));
        } else {
            replyWith(job, "text/html",
                      errorPage(QStringLiteral("无法显示页面"),
                                QStringLiteral("无法读取页面“%1”：%2")
                                    .arg(QString::fromStdString(page),
                                         QString::fromStdString(readErrorMessage(error)))));
        }
        return;
    }
    QByteArray mimeType = QByteArray::fromStdString(resource.mimeType);
    if (!resource.charset.empty())
        mimeType += ";charset=" + QByteArray::fromStdString(resource.charset);
    replyWith(job, mimeType,
              QByteArray(reinterpret_cast<const char*>(resource.bytes.data()),
                         static_cast<qsizetype>(resource.bytes.size())));
}

HelpRequestGate::HelpRequestGate(HelpLibrary& library, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), m_library(library) {}

void HelpRequestGate::interceptRequest(QWebEngineUrlRequestInfo& info) {
    // A request belongs to the help file of the page it comes from; a request no page of a
    // help file made (the viewer's own) to the open file.
    std::string context = m_library.main() ? m_library.main()->path() : std::string();
    std::string file, page;
    if (pageOfUrl(info.firstPartyUrl(), file, page))
        context = file;
    const QUrl url = info.requestUrl();
    const Route r = route(url, context);
    switch (r.kind) {
    case Route::Kind::Serve:
    case Route::Kind::Allow:
        return;
    case Route::Kind::Redirect:
        info.redirect(urlForPath(r.path, url));
        return;
    case Route::Kind::Refuse:
        info.block(true);
        emit refused(url, QString::fromStdString(r.reason));
        return;
    }
}

HelpPage::HelpPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    openExternal = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

bool HelpPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const QString scheme = url.scheme().toLower();
    if (isExternalScheme(scheme.toStdString())) {
        // A help file is an offline document: the user's click sends a web link to the
        // desktop's browser; nothing else may leave.
        if (type == NavigationTypeLinkClicked && isMainFrame)
            openExternal(url);
        else
            emit refused(url, QStringLiteral("帮助文件不访问网络"));
        return false;
    }
    if (scheme == QLatin1String("file")) {
        emit refused(url, QStringLiteral("不读取帮助文件以外的文件"));
        return false;
    }
    return true;
}

namespace {

// Stands in for the new window a link or script asks for: the first address it is sent to is
// loaded in the page that asked instead, so that the reader stays in one window with its history.
class NewWindowCatcher : public QWebEnginePage {
public:
    explicit NewWindowCatcher(HelpPage* target)
        : QWebEnginePage(target->profile(), target), m_target(target) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (m_target && !url.isEmpty() && url.scheme() != QLatin1String("about"))
            m_target->setUrl(url);
        deleteLater();
        return false;
    }

private:
    QPointer<HelpPage> m_target;
};

} // namespace

QWebEnginePage* HelpPage::createWindow(WebWindowType) {
    // target="_blank" and window.open() stay in this window, with the history kept.
    return new NewWindowCatcher(this);
}

QUrl helpPageUrl(const std::string& file, const std::string& local) {
    const std::size_t hash = local.find('#');
    QUrl url = urlForPath(helpPath(file, normalizePageName(local.substr(0, hash))), QUrl());
    if (hash != std::string::npos)
        url.setFragment(QString::fromStdString(local.substr(hash + 1)));
    return url;
}

bool pageOfUrl(const QUrl& url, std::string& file, std::string& page) {
    return url.scheme().compare(QLatin1String(kHelpScheme), Qt::CaseInsensitive) == 0 &&
           splitHelpPath(url.path(QUrl::FullyDecoded).toStdString(), file, page);
}

QWebEngineProfile* createHelpProfile(HelpLibrary& library, QObject* parent) {
    // No storage name: an off-the-record profile, nothing kept on disk between runs.
    auto* profile = new QWebEngineProfile(parent);
    auto* handler = new HelpSchemeHandler(library, profile);
    for (const char* name : kSchemes)
        profile->installUrlSchemeHandler(name, handler);
    profile->setUrlRequestInterceptor(new HelpRequestGate(library, profile));
    return profile;
}

} // namespace hh
