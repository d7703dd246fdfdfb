// What the main window's tests share: a temporary program folder with the shipped templates,
// a folder of pages, and stand-ins for every service the window uses.
#pragma once

#include "faulty_file_system.h"
#include "frmMain.h"
#include "modProject.h"
#include "qt_host.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <QAction>
#include <QListWidget>
#include <QTest>
#include <memory>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace fixture {

inline QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text();
    }
    return items;
}

// The four build commands, in the order the enabling rule sets them.
inline QList<bool> buildCommands(const frmMain& w) {
    return {w.mnuOpeMakeContIndex->isEnabled(), w.mnuOpeCompile->isEnabled(),
            w.toolbarButton(5)->isEnabled(), w.toolbarButton(6)->isEnabled()};
}
const QList<bool> kOn{true, true, true, true};
const QList<bool> kOff{false, false, false, false};

struct WindowFixture {
    WindowFixture() {
        fs::create_directories(pages());
        files.extraDrives = {temp.str() + "/"}; // so that another drive can be picked
        modProject::CurrentProject = {};
        modProject::BuildAction.reset();
    }

    // Opens the window with folder current, as the program opens it at start; shown on the
    // screen for tests that type or click.
    frmMain& open(const fs::path& folder, bool show = false,
                  const std::string& programFolder = {}) {
        fs::current_path(folder);
        window = std::make_unique<frmMain>(programFolder.empty() ? appFolder : programFolder);
        if (show) {
            window->show();
            if (!QTest::qWaitForWindowActive(window.get())) {
                qWarning("the window did not come up");
            }
        }
        return *window;
    }

    void page(const std::string& name) { temp.write("pages/" + name, "<title>t</title>\r\n"); }
    fs::path pages() const { return temp / "pages"; }

    host::testing::TempFolder temp;
    const std::string appFolder = temp.programFolder();
    host::testing::FaultyFileSystem files;
    host::testing::RecordingMessageBoxes boxes;
    host::testing::RecordingToolRunner tools;
    host::testing::RecordingDesktopServices desktop;
    host::testing::ScriptedFileDialogs dialogs;
    host::ScopedFileSystem filesInForce{files};
    host::ScopedMessageBoxes boxesInForce{boxes};
    host::ScopedServices servicesInForce{&tools, &desktop, &dialogs};
    std::unique_ptr<frmMain> window; // last, so it goes first
};

} // namespace fixture
