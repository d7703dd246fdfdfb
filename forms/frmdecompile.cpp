#include "frmdecompile.h"

#include "Module1.h"
#include "modProject.h"
#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/message_box.h"
#include "platform/path_style.h"
#include "platform/services.h"
#include "qt_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <map>
#include <utility>

namespace {

using host::fromQString;
using host::toQString;

// Client area and control rectangles in twips: left, top, width, height.
constexpr int kClientWidth = 4320;
constexpr int kClientHeight = 2130;
constexpr int kLineTop = 1320;
struct Rect {
    int left, top, width, height;
};
constexpr Rect kLabel2{240, 240, 1095, 255};
constexpr Rect kText1{1200, 240, 2535, 315};
constexpr Rect kCommand1{3840, 240, 375, 315};
constexpr Rect kLabel1{240, 720, 975, 255};
constexpr Rect kText2{1200, 720, 2535, 315};
constexpr Rect kCommand2{3840, 720, 375, 315};
constexpr Rect kCommand3{720, 1560, 1215, 375};
constexpr Rect kCommand4{2520, 1560, 1335, 375};

// What a folder held, by name relative to it: modification time and size. Comparing two of
// these tells whether anything was written in between, whichever tool did the writing.
using FolderContents = std::map<QString, std::pair<qint64, qint64>>;

FolderContents contentsOf(const QString& folder) {
    FolderContents contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        contents[info.absoluteFilePath()] = {info.lastModified().toMSecsSinceEpoch(), info.size()};
    }
    return contents;
}

// True when a file of after is new, has changed since before, or was modified at or after
// startedAt (milliseconds since the epoch, taken to the second below, as many file systems
// keep times no finer than that).
bool writtenSince(const FolderContents& before, const FolderContents& after, qint64 startedAt) {
    const qint64 since = startedAt - startedAt % 1000;
    for (const auto& [name, stamp] : after) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != stamp || stamp.first >= since) {
            return true;
        }
    }
    return false;
}

// Sets the wait cursor and marks the dialog busy for the life of the object, on every exit.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : m_busy(busy) {
        m_busy = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        m_busy = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_busy;
};

} // namespace

frmdecompile::frmdecompile(QWidget* owner) : QDialog(owner) {
    createControls();
    placeControls();
    connectHandlers();
}

int frmdecompile::px(int twips) const {
    return qRound(twips / 15.0 * logicalDpiX() / 96.0);
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
    auto place = [this](QWidget* widget, const Rect& r) {
        widget->setGeometry(px(r.left), px(r.top), px(r.width), px(r.height));
    };
    place(Label2, kLabel2);
    place(Text1, kText1);
    place(Command1, kCommand1);
    place(Label1, kLabel1);
    place(Text2, kText2);
    place(Command2, kCommand2);
    place(Command3, kCommand3);
    place(Command4, kCommand4);
    Line1->setGeometry(0, px(kLineTop), px(kClientWidth), 1);
    setFixedSize(px(kClientWidth), px(kClientHeight));
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
    try {
        host::FileSystem& files = host::fileSystem();
        if (!files.folderExists(outputFolder)) {
            host::notify("输出文件夹不存在：" + outputFolder);
            return;
        }
        if (!files.setCurrentFolder(outputFolder)) {
            host::notify("无法进入输出文件夹：" + outputFolder);
            return;
        }
        // A relative help file is looked up in the output folder, which is current now.
        const std::optional<std::string> name = files.findFirst(helpFile);
        if (!name) {
            host::notify("找不到CHM文件：" + helpFile);
            return;
        }
        // The sources go to a folder named after the file less its ".chm"; a name with
        // nothing before that would send them into the output folder itself.
        if (name->size() <= 4) {
            host::notify("CHM文件名太短，无法得出反编译的文件夹名：" + *name);
            return;
        }
        std::string baseName = name->substr(0, name->size() - 4);

        // A relative output folder is now the current folder; the tool and the check
        // below need it spelled out, or they would look for it inside itself.
        const bool relative = !host::isAbsolutePath(outputFolder);
        const std::string folder = relative ? files.currentFolder() : outputFolder;
        const std::string target = modProject::ResolvePath(folder, baseName);
        const QString targetPath = toQString(target);

        host::ToolCommand command;
        command.program = modProject::AppFolder + "hh.exe";
        command.arguments = "-decompile " + baseName + " " + helpFile;
        command.workingFolder = folder;
        command.window = host::WindowKind::MinimizedFocus;

        const FolderContents before = contentsOf(targetPath);
        const qint64 startedAt = QDateTime::currentMSecsSinceEpoch();
        host::ToolOutcome outcome;
        {
            BusyScope busy(m_running);
            outcome = host::toolRunner().runAndWait(command);
        }
        if (!QFileInfo(targetPath).isDir() ||
            !writtenSince(before, contentsOf(targetPath), startedAt)) {
            std::string message = "反编译失败：" + target + " 中没有写出任何文件。";
            if (!outcome.output.empty()) {
                message += "\n\n" + outcome.output;
            } else if (outcome.exitCode != 0) {
                message += "\n\n退出代码 " + std::to_string(outcome.exitCode) + "。";
            }
            host::notify(message);
            return;
        }
        host::notify("恭喜！反编译成功。");
        host::desktopServices().openUrl(
            fromQString(QUrl::fromLocalFile(targetPath).toString(QUrl::FullyEncoded)));
        Text1->clear();
    } catch (const host::HostError& error) {
        // Chiefly a decompiler that cannot be started; both boxes keep what the user gave.
        host::notify(error.what());
    }
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
