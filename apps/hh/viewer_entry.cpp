#include "viewer_entry.h"

#include "viewer_window.h"

#include <QApplication>
#include <QMessageBox>

int quorlin_hh_view_main(int argc, char** argv, const char* file, const char* page,
                         const char* usageError) {
    QApplication app(argc, argv);
    const QString caption = QStringLiteral("HTML 帮助");
    if (usageError) {
        QMessageBox::warning(nullptr, caption, QStringLiteral("用法：hh.exe 帮助文件.chm"));
        return 1;
    }
    auto archive = std::make_unique<chm::ReaderArchive>();
    chm::ReadError error = archive->openFile(file);
    if (error != chm::ReadError::Ok) {
        QMessageBox::critical(nullptr, caption,
                              QStringLiteral("无法打开帮助文件“%1”：%2")
                                  .arg(QString::fromLocal8Bit(file), hh::openFailureText(error)));
        return 1;
    }
    hh::HelpViewer viewer(std::move(archive), QString::fromLocal8Bit(file));
    if (page && *page)
        viewer.showPage(QString::fromUtf8(page));
    viewer.show();
    return app.exec();
}
