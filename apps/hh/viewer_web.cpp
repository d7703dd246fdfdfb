#include "viewer_web.h"

#include "help_url.h"

#include <QBuffer>
#include <QChildEvent>
#include <QDesktopServices>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

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

// Registered once, before the first profile: the engine reads its schemes when it starts.
void registerHelpSchemes() {
    for (const char* name : kSchemes) {
        QWebEngineUrlScheme scheme(name);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        // Local like file: (no remote page may load it), but without file:'s right to read
        // other local files.
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
        QWebEngineUrlScheme::registerScheme(scheme);
    }
}

} // namespace

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
                                QStringLiteral("无法读取页面“%1”：%2。")
                                    .arg(QString::fromStdString(page),
                                         QString::fromUtf8(chm::readErrorText(error)))));
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

WebPageView::WebPageView(HelpLibrary& library, QWidget* parent) : PageView(parent) {
    static const bool registered = (registerHelpSchemes(), true);
    (void)registered;
    // No storage name: an off-the-record profile, nothing kept on disk between runs.
    m_profile = new QWebEngineProfile(this);
    auto* handler = new HelpSchemeHandler(library, m_profile);
    for (const char* name : kSchemes)
        m_profile->installUrlSchemeHandler(name, handler);
    auto* gate = new HelpRequestGate(library, m_profile);
    m_profile->setUrlRequestInterceptor(gate);
    connect(gate, &HelpRequestGate::refused, this, &PageView::refused);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) {
                const QString name = download->downloadFileName();
                download->cancel();
                emit downloadRefused(name);
            });

    m_page = new HelpPage(m_profile, this);
    m_page->openExternal = [this](const QUrl& url) { openExternal(url); };
    connect(m_page, &HelpPage::refused, this, &PageView::refused);
    connect(m_page, &QWebEnginePage::linkHovered, this, &PageView::linkHovered);
    connect(m_page, &QWebEnginePage::urlChanged, this, &PageView::urlChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this, &PageView::loadFinished);
    connect(m_page, &QWebEnginePage::pdfPrintingFinished, this, &PageView::pdfPrintingFinished);

    m_view = new QWebEngineView;
    m_view->setPage(m_page);
    m_view->setAcceptDrops(false); // a dropped help file is the window's to open
    m_view->installEventFilter(this);
    connect(m_view, &QWebEngineView::printFinished, this, &PageView::printFinished);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
}

WebPageView::~WebPageView() {
    // The view goes before its page, and the page before the profile, as the engine requires.
    delete m_view;
    delete m_page;
}

void WebPageView::load(const QUrl& url) {
    m_view->setUrl(url);
}

QUrl WebPageView::url() const {
    return m_view->url();
}

bool WebPageView::canGoBack() const {
    return m_view->history()->canGoBack();
}

bool WebPageView::canGoForward() const {
    return m_view->history()->canGoForward();
}

void WebPageView::back() {
    m_view->back();
}

void WebPageView::forward() {
    m_view->forward();
}

void WebPageView::clearHistory() {
    m_view->history()->clear();
}

void WebPageView::setZoom(qreal factor) {
    m_view->setZoomFactor(factor);
}

qreal WebPageView::zoom() const {
    return m_view->zoomFactor();
}

void WebPageView::find(const QString& text, bool backward,
                       std::function<void(int active, int count)> done) {
    m_page->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                     [done = std::move(done)](const QWebEngineFindTextResult& r) {
                         if (done)
                             done(r.activeMatch(), r.numberOfMatches());
                     });
}

void WebPageView::runScript(const QString& script, bool isolated,
                            std::function<void(const QVariant&)> done) {
    m_page->runJavaScript(
        script, isolated ? QWebEngineScript::ApplicationWorld : QWebEngineScript::MainWorld,
        [done = std::move(done)](const QVariant& v) {
            if (done)
                done(v);
        });
}

void WebPageView::print(QPrinter* printer) {
    m_view->print(printer);
}

void WebPageView::printToPdf(const QString& path) {
    m_page->printToPdf(path);
}

QWidget* WebPageView::surface() const {
    return m_view->focusProxy();
}

bool WebPageView::eventFilter(QObject* watched, QEvent* event) {
    // The engine draws into a child widget it makes when the first page loads.
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
            QTimer::singleShot(0, this, [this] { emit surfaceChanged(surface()); });
    return PageView::eventFilter(watched, event);
}

} // namespace hh

hh::PageView* quorlin_hh_create_page_view(hh::HelpLibrary* library, QWidget* parent) {
    return new hh::WebPageView(*library, parent);
}
