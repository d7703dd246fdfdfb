// hh.exe: "hh.exe FILE.chm" (or "ms-its:FILE.chm::/page.htm") opens the viewer;
// "hh.exe -decompile FOLDER FILE.chm" takes the file apart without any window.
#include "hh_command.h"
#include "hh_decompile.h"

#include <filesystem>
#include <iostream>
#include <string>

#ifdef QUORLIN_HH_VIEWER
#include "viewer_window.h"

#include <QApplication>
#include <QMessageBox>
#endif

namespace {

bool isFile(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(name), ec);
}

} // namespace

int main(int argc, char** argv) {
    // Callers may pass the whole argument text as one argument or split at blanks; joining
    // with blanks reads the same either way.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    hh::Command cmd = hh::parseCommandLine(line, isFile);
    if (cmd.kind == hh::Command::Kind::Decompile)
        return hh::runDecompile(cmd.folder, cmd.file, std::cout, std::cerr);
    if (cmd.kind == hh::Command::Kind::Usage && line.rfind("-decompile", 0) == 0) {
        std::cerr << "hh.exe: " << cmd.error << (cmd.file.empty() ? "" : ": ") << cmd.file << '\n';
        return 1;
    }

#ifdef QUORLIN_HH_VIEWER
    QApplication app(argc, argv);
    const QString caption = QStringLiteral("HTML 帮助");
    if (cmd.kind != hh::Command::Kind::View) {
        QMessageBox::warning(nullptr, caption, QStringLiteral("用法：hh.exe 帮助文件.chm"));
        return 1;
    }
    auto archive = std::make_unique<chm::ReaderArchive>();
    chm::ReadError error = archive->openFile(cmd.file);
    if (error != chm::ReadError::Ok) {
        QMessageBox::critical(
            nullptr, caption,
            QStringLiteral("无法打开帮助文件“%1”：%2")
                .arg(QString::fromStdString(cmd.file), hh::openFailureText(error)));
        return 1;
    }
    hh::HelpViewer viewer(std::move(archive), QString::fromStdString(cmd.file));
    if (!cmd.page.empty())
        viewer.showPage(QString::fromStdString(cmd.page));
    viewer.show();
    return app.exec();
#else
    std::cerr << "hh.exe: this build has no viewer; use -decompile FOLDER FILE.chm\n";
    return 1;
#endif
}
