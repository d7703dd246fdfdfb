#include "frmMain.h"

#include "busy_scope.h"
#include "folder_list.h"
#include "frmAbout.h"
#include "modProject.h"
#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/message_box.h"
#include "platform/services.h"
#include "project_build.h"
#include "qt_host.h"
#include "twips.h"

#ifdef QUORLIN_HAVE_DECOMPILE_DIALOG
#include "frmdecompile.h"
#else
#include <QDialog>
#endif

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QScopeGuard>
#include <QShortcutEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <utility>

using layout::twipRect;
using layout::twips;

namespace {

const QString kCaption = QStringLiteral("CHM Quorlin V1.1");
const QString kReady = QStringLiteral("就绪");
// Runs a command and tells the user about any failure it did not handle itself.
template <typename Command> void reportFailures(Command&& command) {
    try {
        command();
    } catch (const host::HostError& e) {
        host::notify(e.what());
    } catch (const std::exception& e) {
        host::notify(std::string("操作失败：") + e.what());
    }
}

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != host::kSeparator) {
        folder += host::kSeparator;
    }
    return folder;
}

} // namespace

frmMain::frmMain(std::string programFolder, QWidget* parent)
    : QMainWindow(parent), m_programFolder(std::move(programFolder)) {
    createControls();
    createMenus();
    createToolBar();
    createStatusBar();
    setTabOrderAndKeys();
    connectHandlers();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/images/quorlin.png")));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(4740), twips(4755));
    setCentralWidget(client);

    auto panel = [client](const char* name, QRect bounds) {
        auto* frame = new QFrame(client);
        frame->setObjectName(QString::fromLatin1(name));
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        frame->setGeometry(bounds);
        return frame;
    };
    Picture1 = panel("Picture1", twipRect(120, 480, 4455, 3975));
    Picture2 = panel("Picture2", twipRect(120, 4830, 4455, 3735));

    auto label = [this](const char* name, const QString& text, QRect bounds) {
        auto* control = new QLabel(text, Picture1);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(bounds);
        return control;
    };
    Label2 = label("Label2", QStringLiteral("驱动器(&D)"), twipRect(120, 105, 1935, 255));
    Label3 = label("Label3", QStringLiteral("目录(&R)"), twipRect(120, 630, 1935, 255));
    Label1 = label("Label1", QStringLiteral("Html 文件(&F)"), twipRect(2115, 720, 1935, 255));
    Label4 = label("Label4", QStringLiteral("CHM文件标题(&T)"), twipRect(2160, 120, 1935, 255));

    Drive1 = new QComboBox(Picture1);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twipRect(120, 315, 1900, 300));

    Dir1 = new FolderList(Picture1);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twipRect(120, 830, 1900, 3030));

    File1 = new QListWidget(Picture1);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(twipRect(2100, 915, 2190, 2820));

    Text1 = new QLineEdit(host::toQString(modProject::defaultTitle()), Picture1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipRect(2160, 360, 2055, 285));
    Text1->setCursorPosition(0);

    List1 = new QListWidget(Picture2);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipRect(120, 120, 4160, 3375));

    // The drive and folder lists start at the process's current folder.
    auto& files = host::fileSystem();
    for (const auto& drive : files.drives()) {
        Drive1->addItem(host::toQString(drive));
    }
    const std::string start = files.currentFolder();
    showDriveOf(start);
    try {
        Dir1->setPath(start, driveOf(start));
    } catch (const host::HostError&) {
        // The load step's folder change lists the pages and reports the failure, once.
        if (!start.empty()) {
            Dir1->setUnlistedPath(start, driveOf(start));
        }
    }
}

void frmMain::createMenus() {
    auto item = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto separator = [](QMenu* menu, const char* name) {
        QAction* action = menu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto topMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
        return menu;
    };

    mnuFile = topMenu("mnuFile", QStringLiteral("文件(&F)"));
    mnuFileOpen = item(mnuFile, "mnuFileOpen", QStringLiteral("打开(&O)..."));
    mnuFileBar0 = separator(mnuFile, "mnuFileBar0");
    mnuFileExit = item(mnuFile, "mnuFileExit", QStringLiteral("退出(&X)"));

    mnuOperate = topMenu("mnuOperate", QStringLiteral("操作(&O)"));
    mnuOpeMakeContIndex = item(mnuOperate, "mnuOpeMakeContIndex", QStringLiteral("编写目录、索引"));
    mnuOpeCompile = item(mnuOperate, "mnuOpeCompile", QStringLiteral("编 译 工 程"));
    men_dc = item(mnuOperate, "men_dc", QStringLiteral("反编译CHM文件"));

    mode = topMenu("mode", QStringLiteral("系统模式(&M)"));
    modeHtml = item(mode, "modeHtml", QStringLiteral("HTML-->CHM"));
    modeHhp = item(mode, "modeHhp", QStringLiteral("HHP--->CHM"));
    modeHtml->setCheckable(true);
    modeHhp->setCheckable(true);
    modeHtml->setChecked(true);

    mnuHelp = topMenu("mnuHelp", QStringLiteral("帮助(&H)"));
    mnuHelpContents = item(mnuHelp, "mnuHelpContents", QStringLiteral("目录(&C)"));
    mnuHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelpBar0 = separator(mnuHelp, "mnuHelpBar0");
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", QStringLiteral("关于(&A) "));
}

void frmMain::createToolBar() {
    QStyle* look = style();
    imlToolbarIcons = {
        {QStringLiteral("Open"), QIcon(QStringLiteral(":/images/open.png"))},
        {QStringLiteral("Save"), QIcon(QStringLiteral(":/images/save.png"))},
        {QStringLiteral("Forward"), look->standardIcon(QStyle::SP_ArrowForward)},
        {QStringLiteral("Help"), QIcon(QStringLiteral(":/images/help.png"))},
        {QStringLiteral("Compile"), QIcon(QStringLiteral(":/images/compile.png"))},
        {QString(), look->standardIcon(QStyle::SP_FileIcon)},
    };
    auto image = [this](const QString& key) {
        for (const auto& entry : imlToolbarIcons) {
            if (!key.isEmpty() && entry.key == key) {
                return entry.image;
            }
        }
        return QIcon();
    };

    tbToolBar = new QToolBar(centralWidget());
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setGeometry(twipRect(0, 0, 4740, 420));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(16, 16));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto button = [&](const QString& key, const QString& tip, const QString& imageKey) {
        QAction* action = tbToolBar->addAction(image(imageKey), QString());
        action->setProperty("Key", key);
        action->setProperty("ImageKey", imageKey);
        action->setToolTip(tip);
        if (auto* widget = tbToolBar->widgetForAction(action)) {
            widget->setFixedWidth(twips(609));
        }
    };
    tbToolBar->addSeparator();
    tbToolBar->addSeparator();
    button(QStringLiteral("打开"), QStringLiteral("打开工程"), QStringLiteral("Open"));
    tbToolBar->addSeparator();
    button(QStringLiteral("编写"), QStringLiteral("编写目录、索引"), QStringLiteral("Save"));
    button(QStringLiteral("编译"), QStringLiteral("编译工程"), QStringLiteral("Compile"));
    tbToolBar->addSeparator();
    button(QStringLiteral("帮助"), QStringLiteral("帮助"), QStringLiteral("Help"));
}

void frmMain::createStatusBar() {
    sbStatusBar = new QStatusBar(centralWidget());
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setSizeGripEnabled(false);
    sbStatusBar->setGeometry(twipRect(0, 4485, 4740, 270));
    m_statusPanel = new QLabel(kReady, sbStatusBar);
    m_statusPanel->setObjectName(QStringLiteral("sbStatusBarText"));
    m_clockPanel = new QLabel(sbStatusBar);
    m_clockPanel->setObjectName(QStringLiteral("sbStatusBarTime"));
    sbStatusBar->addWidget(m_statusPanel, 1);
    sbStatusBar->addPermanentWidget(m_clockPanel);
    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    updateClock();
    m_clock->start();
}

void frmMain::setTabOrderAndKeys() {
    Label2->setBuddy(Drive1);
    Label3->setBuddy(Dir1);
    Label1->setBuddy(File1);
    Label4->setBuddy(Text1);
    // "Html 文件(&F)" shares Alt+F with the File menu; the menu wins, as it does on Windows.
    Label1->installEventFilter(this);

    tbToolBar->setFocusPolicy(Qt::NoFocus);
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, List1);
    setTabOrder(List1, Text1);
}

void frmMain::connectHandlers() {
    // Only a change of drive counts: picking the drive already chosen keeps the folder.
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmMain::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmMain::Dir1_Change);
    connect(Dir1, &FolderList::folderRequested, this, &frmMain::changeFolder);
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuOpeMakeContIndex, &QAction::triggered, this, &frmMain::mnuOpeMakeContIndex_Click);
    connect(mnuOpeCompile, &QAction::triggered, this, &frmMain::mnuOpeCompile_Click);
    connect(men_dc, &QAction::triggered, this, &frmMain::men_dc_Click);
    // A checkable item flips its own mark before it reports the click; the switch flips both
    // marks itself, so the item's own flip is taken back first.
    connect(modeHtml, &QAction::triggered, this, [this] {
        modeHtml->setChecked(!modeHtml->isChecked());
        modeHtml_Click();
    });
    connect(modeHhp, &QAction::triggered, this, [this] {
        modeHhp->setChecked(!modeHhp->isChecked());
        modeHhp_Click();
    });
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
    connect(tbToolBar, &QToolBar::actionTriggered, this, &frmMain::tbToolBar_ButtonClick);
    connect(m_clock, &QTimer::timeout, this, &frmMain::updateClock);
}

QAction* frmMain::toolbarButton(int index) const {
    const QList<QAction*> buttons = tbToolBar->actions();
    return index >= 1 && index <= buttons.size() ? buttons.at(index - 1) : nullptr;
}

QString frmMain::statusText() const {
    return m_statusPanel->text();
}

void frmMain::setStatusText(const QString& text) {
    m_statusPanel->setText(text);
}

void frmMain::updateClock() {
    m_clockPanel->setText(QTime::currentTime().toString(QStringLiteral("HH:mm")));
}

// ---- start-up -------------------------------------------------------------------------------

void frmMain::Form_Load() {
    std::string folder = m_programFolder.empty()
                             ? host::fromQString(QCoreApplication::applicationDirPath())
                             : m_programFolder;
    modProject::AppFolder = withSeparator(folder);
    Dir1_Change();
}

// ---- drive, folder and mode ------------------------------------------------------------------

std::string frmMain::driveOf(const std::string& folder) const {
    std::string best;
    for (int i = 0; i < Drive1->count(); ++i) {
        const std::string drive = host::fromQString(Drive1->itemText(i));
        const std::string root = withSeparator(drive);
        const bool inside = withSeparator(folder).compare(0, root.size(), root) == 0;
        if (inside && drive.size() > best.size()) {
            best = drive;
        }
    }
    return best;
}

void frmMain::showDriveOf(const std::string& folder) {
    const int index = Drive1->findText(host::toQString(driveOf(folder)));
    if (index >= 0) {
        const QSignalBlocker quiet(Drive1); // showing the drive is no choice of the user's
        Drive1->setCurrentIndex(index);
    }
}

void frmMain::changeFolder(const std::string& folder) {
    try {
        Dir1->setPath(folder, driveOf(folder));
    } catch (const host::HostError& e) {
        host::notify(e.what());
    }
    showDriveOf(Dir1->path());
}

void frmMain::Drive1_Change() {
    changeFolder(host::fromQString(Drive1->currentText()));
}

void frmMain::Dir1_Change() {
    const std::string folder = Dir1->path();
    std::vector<std::string> pages;
    try {
        pages = host::fileSystem().listFiles(folder, "*.htm");
    } catch (const host::HostError& e) {
        // No pages can be read here, so none are listed, and nothing can be built from them.
        host::notify(e.what());
    }
    File1->clear();
    for (const auto& page : pages) {
        File1->addItem(host::toQString(page));
    }
    applyEnablingRule(File1->count());
}

void frmMain::modeHtml_Click() {
    modeHtml->setChecked(!modeHtml->isChecked());
    modeHhp->setChecked(!modeHhp->isChecked());
    if (modeHtml->isChecked()) {
        Picture1->move(Picture1->x(), twips(480));
        Picture2->move(Picture2->x(), twips(43200));
    } else {
        Picture2->move(Picture2->x(), twips(480));
        Picture1->move(Picture1->x(), twips(43200));
    }
    applyEnablingRule(List1->count());
}

void frmMain::modeHhp_Click() {
    modeHtml_Click();
}

void frmMain::applyEnablingRule(int itemCount) {
    const bool enabled = itemCount != 0;
    mnuOpeMakeContIndex->setEnabled(enabled);
    mnuOpeCompile->setEnabled(enabled);
    toolbarButton(5)->setEnabled(enabled);
    toolbarButton(6)->setEnabled(enabled);
}

void frmMain::setList1(const std::vector<std::string>& entries) {
    List1->clear();
    for (const auto& entry : entries) {
        List1->addItem(host::toQString(entry));
    }
}

std::vector<std::string> frmMain::itemsOf(const QListWidget* list) const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(list->count()));
    for (int i = 0; i < list->count(); ++i) {
        items.push_back(host::fromQString(list->item(i)->text()));
    }
    return items;
}

// ---- commands --------------------------------------------------------------------------------

void frmMain::mnuFileOpen_Click() {
    reportFailures([this] {
        const auto chosen =
            host::fileDialogs().openFile({"打开", "工程文件 (*.hhp)|*.hhp", std::string()});
        if (!chosen || chosen->empty()) {
            return;
        }
        if (*chosen == modProject::CurrentProject.ProjectFile) {
            return;
        }
        // Read into a scratch list: a project that is refused must not leave its entries
        // behind, or the next build would write the current project's files from them.
        std::vector<std::string> entries;
        if (!modProject::ReadProjectFiles(*chosen, entries)) {
            host::notify("文件打开失败，可能是语法有误，系统暂不能处理!!");
            return;
        }
        setList1(entries);
        if (modeHtml->isChecked()) {
            modeHtml_Click();
        } else {
            applyEnablingRule(List1->count());
        }
        modProject::CurrentProject.ProjectFile = *chosen;
    });
}

void frmMain::mnuFileExit_Click() {
    close();
}

void frmMain::mnuOpeMakeContIndex_Click() {
    modProject::BuildAction = 1;
    reportFailures([this] { main_frm(); });
}

void frmMain::mnuOpeCompile_Click() {
    modProject::BuildAction = 2;
    reportFailures([this] { main_frm(); });
}

void frmMain::men_dc_Click() {
#ifdef QUORLIN_HAVE_DECOMPILE_DIALOG
    openDecompileDialog(this);
#else
    QDialog dialog(this);
    dialog.exec();
#endif
}

void frmMain::mnuHelpContents_Click() {
    reportFailures([] {
        const std::string& folder = modProject::AppFolder;
        if (!host::fileSystem().setCurrentFolder(folder)) {
            throw host::HostError("无法进入程序所在的文件夹 " + folder);
        }
        host::toolRunner().startDetached(
            {folder + "hh.exe", "help.chm", folder, host::WindowKind::NormalFocus});
    });
}

void frmMain::mnuHelpAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmMain::tbToolBar_ButtonClick(QAction* Button) {
    if (Button == nullptr) {
        return;
    }
    const QString key = Button->property("Key").toString();
    if (key == QStringLiteral("打开")) {
        mnuFileOpen_Click();
    } else if (key == QStringLiteral("编写")) {
        mnuOpeMakeContIndex_Click();
    } else if (key == QStringLiteral("编译")) {
        mnuOpeCompile_Click();
    } else if (key == QStringLiteral("帮助")) {
        mnuHelpContents_Click();
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // While the compiler runs the window is disabled and waits for it; closing now would pull
    // the window out from under the build.
    if (m_building) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::Shortcut) {
        menuBar()->setActiveAction(mnuFile->menuAction());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the build -------------------------------------------------------------------------------

void frmMain::main_frm() {
    if (modeHtml->isChecked()) {
        const auto entries = modProject::GenerateProject(Dir1->path(), itemsOf(File1),
                                                         host::fromQString(Text1->text()));
        if (!entries) {
            return;
        }
        setList1(*entries);
    } else if (modProject::CurrentProject.ProjectFile.empty()) {
        // Only a refused project open can leave pages listed without a project: there is no
        // project folder to build in.
        host::notify("还没有打开工程文件，无法编写或编译。请先用“打开”选择一个工程文件 (*.hhp)。");
        return;
    }

    const BusyScope busy(*this, m_building);
    const auto ready = qScopeGuard([this] { setStatusText(kReady); });
    const bool compile = modProject::BuildAction == 2;
    const modProject::BuildRequest request{
        modeHhp->isChecked(), compile, host::fromQString(windowTitle()),
        [this](const std::string& status) { setStatusText(host::toQString(status)); }};
    if (modProject::BuildProject(itemsOf(List1), request)) {
        List1->clear();
    }
    if (compile && modeHhp->isChecked()) {
        modeHhp_Click();
    }
}
