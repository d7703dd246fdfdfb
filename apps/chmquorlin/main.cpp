// The program's entry: one running instance per user, the desktop services in place, and the
// main window until it closes.
#include "frmMain.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/services.h"
#include "qt_host.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <cstdio>

namespace modProject {

int Main() {
    host::QtMessageBoxes boxes(QStringLiteral("CHM Quorlin V1.1"));
    host::QtToolRunner tools;
    host::QtDesktopServices desktop;
    host::QtFileDialogs dialogs;
    const host::ScopedMessageBoxes boxesInForce(boxes);
    const host::ScopedServices servicesInForce(&tools, &desktop, &dialogs);

    // The running instance is not signalled: the user is told where to look instead.
    const host::SingleInstanceLock instance(QStringLiteral("chmquorlin"));
    if (!instance.acquired()) {
        host::notify("程序正在运行，请检查窗口是否被最小化。");
        return 0;
    }

    frmMain window;
    window.adjustSize();
    window.setFixedSize(window.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    window.show();
    return QApplication::exec();
}

} // namespace modProject

int main(int argc, char* argv[]) {
    // Without a desktop the toolkit would abort with its own English text: say why instead.
    if (!host::hasGraphicalDisplay()) {
        std::fprintf(stderr, "%s\n", host::noDisplayMessage("chmquorlin").c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CHM Quorlin"));
    return modProject::Main();
}
