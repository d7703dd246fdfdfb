// The main window: picks the pages (a folder in HTML mode, an opened project in HHP mode),
// runs the build that writes the project, contents and index files and compiles them, and
// holds the menu and toolbar commands.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <string>
#include <vector>

class FolderList;
class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;

class frmMain : public QMainWindow {
public:
    // programFolder: the folder the program runs from (the templates and tools lie there);
    // empty means the folder of the running executable.
    explicit frmMain(std::string programFolder = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // Handlers. The command handlers report every failure to the user themselves, so they
    // never throw, whether a menu item or a toolbar button started them.
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void modeHtml_Click();
    void modeHhp_Click();
    void mnuFileOpen_Click();
    void mnuFileExit_Click();
    void mnuOpeMakeContIndex_Click();
    void mnuOpeCompile_Click();
    void men_dc_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void tbToolBar_ButtonClick(QAction* Button);

    // The build: writes the project (HTML mode), the contents and index files, and compiles
    // when BuildAction is 2. Throws host::HostError when a step fails; the window is enabled
    // again and the status reset before the error leaves.
    void main_frm();

    // The text of the status bar's first panel.
    QString statusText() const;
    // Whether a build is running (the window then ignores requests to close).
    bool isBuilding() const { return m_building; }

    // Controls, by their names.
    QToolBar* tbToolBar = nullptr;
    QWidget* Picture1 = nullptr;
    QWidget* Picture2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* Drive1 = nullptr;
    FolderList* Dir1 = nullptr;
    QListWidget* File1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QListWidget* List1 = nullptr;
    QStatusBar* sbStatusBar = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileBar0 = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuOperate = nullptr;
    QAction* mnuOpeMakeContIndex = nullptr;
    QAction* mnuOpeCompile = nullptr;
    QAction* men_dc = nullptr;
    QMenu* mode = nullptr;
    QAction* modeHtml = nullptr;
    QAction* modeHhp = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpBar0 = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // Toolbar buttons by 1-based position, separators included.
    QAction* toolbarButton(int index) const;

    // The toolbar's images by key; the sixth image has no key. Only four are used.
    struct ToolbarImage {
        QString key;
        QIcon image;
    };
    std::vector<ToolbarImage> imlToolbarIcons;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void setTabOrderAndKeys();
    void connectHandlers();

    void setStatusText(const QString& text);
    // The four build commands are enabled together when the list holds entries.
    void applyEnablingRule(int itemCount);
    void setList1(const std::vector<std::string>& entries);
    std::vector<std::string> itemsOf(const QListWidget* list) const;
    // Moves the folder list to folder; a folder that cannot be read is reported and the
    // lists stay where they were.
    void changeFolder(const std::string& folder);
    std::string driveOf(const std::string& folder) const;
    void showDriveOf(const std::string& folder);
    void updateClock();

    std::string m_programFolder;
    bool m_building = false;
    QLabel* m_statusPanel = nullptr;
    QLabel* m_clockPanel = nullptr;
    QTimer* m_clock = nullptr;
};
