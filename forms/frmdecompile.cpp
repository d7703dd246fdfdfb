#include "frmdecompile.h"

#include "Module1.h"
#include "busy_scope.h"
#include "decompile.h"
#include "platform/host_error.h"
#include "platform/message_box.h"
#include "platform/services.h"
#include "qt_host.h"
#include "twips.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

using host::fromQString;
using host::toQString;
using layout::twipRect;
using layout::twips;

frmdecompile::frmdecompile(QWidget* owner) : QDialog(owner) {
    createControls();
    placeControls();
    connectHandlers();
}

void frmdecompile::createControls() {
    setObjectName(QStringLiteral("frmdecompile"));
    setWindowTitle(QStringLiteral("反编译 CHM文件"));
    // A fixed dialog border: a close box, no minimise or maximise box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // The font of the labels and boxes; where it is not installed Qt substitutes a like one
    // of the same size.
    QFont boxFont(QStringLiteral("MS Sans Serif"));
    boxFont.setStyleHint(QFont::SansSerif);
    boxFont.setPointSizeF(9.75);

    auto label = [&](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(name));
        l->setFont(boxFont);
        return l;
    };
    auto box = [&](const char* name) {
        auto* t = new QLineEdit(this);
        t->setObjectName(QLatin1String(name));
        t->setFont(boxFont);
        return t;
    };
    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    Label2 = label("Label2", QStringLiteral("CHM文件："));
    Text1 = box("Text1");
    Command1 = button("Command1", QStringLiteral("..."));
    Label1 = label("Label1", QStringLiteral("文  件  夹："));
    Text2 = box("Text2");
    Command2 = button("Command2", QStringLiteral("..."));
    Command3 = button("Command3", QStringLiteral("反编译"));
    Command4 = button("Command4", QStringLiteral("取 消"));
    Command3->setDefault(true);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::NoFrame);
    Line1->setAutoFillBackground(true);
    QPalette white = Line1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Line1->setPalette(white);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
}

void frmdecompile::placeControls() {
    Label2->setGeometry(twipRect(240, 240, 1095, 255));
    Text1->setGeometry(twipRect(1200, 240, 2535, 315));
    Command1->setGeometry(twipRect(3840, 240, 375, 315));
    Label1->setGeometry(twipRect(240, 720, 975, 255));
    Text2->setGeometry(twipRect(1200, 720, 2535, 315));
    Command2->setGeometry(twipRect(3840, 720, 375, 315));
    Command3->setGeometry(twipRect(720, 1560, 1215, 375));
    Command4->setGeometry(twipRect(2520, 1560, 1335, 375));
    Line1->setGeometry(0, twips(1320), twips(4320), 1);
    setFixedSize(twips(4320), twips(2130));
}

void frmdecompile::connectHandlers() {
    connect(Command1, &QPushButton::clicked, this, &frmdecompile::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmdecompile::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmdecompile::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmdecompile::Command4_Click);
}

void frmdecompile::Command1_Click() {
    const host::OpenFileRequest request{"打开", "CHM文件 (*.chm)|*.chm", m_chosenFile};
    if (auto chosen = host::fileDialogs().openFile(request)) {
        m_chosenFile = *chosen;
    }
    // Cancelling writes the name too: the previous choice of this opening, or nothing.
    Text1->setText(toQString(m_chosenFile));
}

void frmdecompile::Command2_Click() {
    const std::string folder =
        Module1::BrowseForFolder(this, "Select A Directory", fromQString(Text1->text()));
    if (!folder.empty()) {
        Text2->setText(toQString(folder));
    }
}

void frmdecompile::Command3_Click() {
    const std::string helpFile = fromQString(Text1->text());
    const std::string outputFolder = fromQString(Text2->text());
    if (helpFile.empty() || outputFolder.empty()) {
        host::notify("请选择文件和指定文件目录!!");
        return;
    }
    std::string target;
    try {
        const BusyScope busy(*this, m_running);
        target = modProject::DecompileHelpFile(helpFile, outputFolder);
    } catch (const host::HostError& error) {
        // Both boxes keep what the user gave, for another try.
        host::notify(error.what());
        return;
    }
    host::notify("恭喜！反编译成功。");
    host::desktopServices().openUrl(
        fromQString(QUrl::fromLocalFile(toQString(target)).toString(QUrl::FullyEncoded)));
    Text1->clear();
}

void frmdecompile::Command4_Click() {
    reject();
}

void frmdecompile::reject() {
    if (!m_running) {
        QDialog::reject();
    }
}

void frmdecompile::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmdecompile::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void openDecompileDialog(QWidget* owner) {
    frmdecompile dialog(owner);
    dialog.exec();
}
