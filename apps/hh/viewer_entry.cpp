#include "viewer_entry.h"

#include "page_view.h"
#include "viewer_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// With QUORLIN_HH_TRACE set, the moments the window shows and the first page is ready go to
// standard error as wall-clock milliseconds, for the viewer benchmark.
void trace(const char* what) {
    if (!std::getenv("QUORLIN_HH_TRACE"))
        return;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    std::fprintf(stderr, "hh-trace %s %lld\n", what, static_cast<long long>(now.count()));
}

void loadTranslations(QApplication& app) {
    // Qt's own dialogs (print, file choosers) and the page's context menu speak the program's
    // language, whatever the desktop's.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase", "qtwebengine"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QLatin1String(name),
                             QStringLiteral("_"), folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace

int quorlin_hh_view_main(int argc, char** argv, const char* file, const char* page,
                         const char* usageError) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    hh::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hh"));
    QApplication::setOrganizationName(QStringLiteral("chmquorlin"));
    loadTranslations(app);

    hh::HelpViewer viewer;
    if (usageError) {
        QMessageBox::warning(nullptr, QStringLiteral("HTML 帮助"),
                             QStringLiteral("用法：hh.exe 帮助文件.chm"));
        return 1;
    }
    if (file && *file) {
        // A file that cannot be read is named in a message; the empty viewer then stays,
        // ready to open another.
        viewer.openFile(QString::fromLocal8Bit(file), QString::fromUtf8(page ? page : ""));
    }
    viewer.show();
    trace("shown");
    QObject::connect(&viewer, &hh::HelpViewer::pageReady, &viewer, [] {
        static bool once = false;
        if (!std::exchange(once, true))
            trace("page");
    });
    // The engine starts after the window is up, so the window never waits for it.
    QTimer::singleShot(0, &viewer, [&viewer] { viewer.pageView(); });
    return app.exec();
}
