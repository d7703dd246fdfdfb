#include "page_view.h"

#include "help_url.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#if defined(QUORLIN_HH_ENGINE_MODULE)
#include <dlfcn.h> // POSIX: where this module was loaded from
#endif
#include <cstdlib>
#include <unistd.h>

namespace hh {

void prepareApplication() {
    // The engine refuses to start as root with its sandbox on, and tests and CI run as root.
    // Only then is the sandbox turned off; anyone else keeps it. (POSIX: geteuid.)
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Lets the engine draw with the graphics card where there is one; without one it draws in
    // software all the same.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

PageView* createPageView(HelpLibrary& library, QWidget* parent, QString& error) {
#if defined(QUORLIN_HH_ENGINE_MODULE)
    // The engine module lies beside this one, wherever the program folder is.
    static QFunctionPointer factory = nullptr;
    if (!factory) {
        Dl_info self{};
        dladdr(reinterpret_cast<void*>(&createPageView), &self);
        QLibrary engine(
            QFileInfo(QString::fromLocal8Bit(self.dli_fname ? self.dli_fname : "")).absolutePath() +
            QStringLiteral("/" QUORLIN_HH_ENGINE_MODULE));
        factory = engine.resolve("quorlin_hh_create_page_view");
        if (!factory) {
            error = QStringLiteral("无法载入网页引擎：%1").arg(engine.errorString());
            return nullptr;
        }
    }
    return reinterpret_cast<decltype(&quorlin_hh_create_page_view)>(factory)(&library, parent);
#else
    (void)error;
    return quorlin_hh_create_page_view(&library, parent);
#endif
}

QUrl helpPageUrl(const std::string& file, const std::string& local) {
    const std::size_t hash = local.find('#');
    QUrl url;
    url.setScheme(QLatin1String(kHelpScheme));
    url.setPath(QString::fromStdString(helpPath(file, normalizePageName(local.substr(0, hash)))),
                QUrl::DecodedMode);
    if (hash != std::string::npos)
        url.setFragment(QString::fromStdString(local.substr(hash + 1)));
    return url;
}

bool pageOfUrl(const QUrl& url, std::string& file, std::string& page) {
    return url.scheme().compare(QLatin1String(kHelpScheme), Qt::CaseInsensitive) == 0 &&
           splitHelpPath(url.path(QUrl::FullyDecoded).toStdString(), file, page);
}

} // namespace hh
