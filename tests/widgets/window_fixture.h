// What the main window's tests share: a temporary program folder with the shipped templates,
// a folder of pages, and stand-ins for every service the window uses. The stand-ins write one
// journal, so a test can check the order of what happened and the window's state at each step
// (status text, disabled, busy pointer).
#pragma once

#include "faulty_file_system.h"
#include "frmMain.h"
#include "modProject.h"
#include "qt_host.h"
#include "recording_message_boxes.h"
#include "recording_services.h"
#include "temp_folder.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <functional>
#include <memory>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace fixture {

inline std::string pageWithTitle(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body></body></html>\r\n";
}

inline QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->item(i)->text();
    }
    return items;
}

// A data table of two rows for one yes/no column.
inline void yesNoRows(const char* column, const char* yesRow, const char* noRow) {
    QTest::addColumn<bool>(column);
    QTest::newRow(yesRow) << true;
    QTest::newRow(noRow) << false;
}

struct Journal {
    Strings entries;
    std::string root; // paths are written relative to it
    const frmMain* window = nullptr;

    std::string relative(const std::string& path) const {
        return path.starts_with(root) ? path.substr(root.size()) : path;
    }
    void add(const std::string& what) {
        if (window != nullptr) {
            std::string state = host::fromQString(window->statusText());
            state += window->isEnabled() ? "" : ",disabled";
            state += QApplication::overrideCursor() != nullptr ? ",busy" : "";
            entries.push_back(what + " [" + state + "]");
        }
    }
};

class JournalFileSystem : public host::testing::FaultyFileSystem {
public:
    explicit JournalFileSystem(Journal& journal) : m_journal(journal) {}
    std::unique_ptr<host::TextWriter> createTextFile(const std::string& path) override {
        m_journal.add("create " + m_journal.relative(path));
        return FaultyFileSystem::createTextFile(path);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        m_journal.add("copy " + m_journal.relative(from) + " -> " + m_journal.relative(to));
        return FaultyFileSystem::copyFile(from, to);
    }
    bool deleteFile(const std::string& path) override {
        m_journal.add("delete " + m_journal.relative(path));
        return FaultyFileSystem::deleteFile(path);
    }
    bool setCurrentFolder(const std::string& path) override {
        m_journal.add("cd " + m_journal.relative(path));
        return FaultyFileSystem::setCurrentFolder(path);
    }

private:
    Journal& m_journal;
};

class JournalMessageBoxes : public host::testing::RecordingMessageBoxes {
public:
    explicit JournalMessageBoxes(Journal& journal) : m_journal(journal) {}
    host::MessageAnswer show(const host::MessageRequest& request) override {
        m_journal.add((request.buttons == host::MessageButtons::YesNo ? "ask " : "tell ") +
                      request.text);
        return RecordingMessageBoxes::show(request);
    }

private:
    Journal& m_journal;
};

struct WindowFixture {
    WindowFixture() {
        fs::create_directories(pages());
        journal.root = temp.str() + "/";
        files.extraDrives = {journal.root}; // so that another drive can be picked
        modProject::CurrentProject = {};
        modProject::BuildAction.reset();
        tools.behaviour = [this](const host::ToolCommand& command) {
            journal.add((command.window == host::WindowKind::Hidden ? "run " : "start ") +
                        journal.relative(command.program) + " " + command.arguments + " in " +
                        journal.relative(command.workingFolder));
            return compiler ? compiler(command) : host::ToolOutcome{true, 0, {}};
        };
    }

    // Opens the window with folder current, as the program opens it at start.
    frmMain& open(const fs::path& folder, const std::string& programFolder = {}) {
        fs::current_path(folder);
        window = std::make_unique<frmMain>(programFolder.empty() ? appFolder : programFolder);
        journal.window = window.get();
        journal.entries.clear();
        return *window;
    }

    // The same, shown on the screen, for tests that type or click.
    frmMain& shown(const fs::path& folder, const std::string& programFolder = {}) {
        frmMain& w = open(folder, programFolder);
        w.show();
        if (!QTest::qWaitForWindowActive(&w)) {
            qWarning("the window did not come up");
        }
        return w;
    }

    // A compiler stand-in that writes the compiled file the project names.
    static host::ToolOutcome writeCompiledFile(const host::ToolCommand& command,
                                               const std::string& name = "chm_hhp.chm") {
        host::testing::writeFile(fs::path(command.workingFolder) / name, "ITSF compiled");
        return {true, 0, "compiled"};
    }

    fs::path pages() const { return temp / "pages"; }

    host::testing::TempFolder temp;
    const std::string appFolder = temp.programFolder();
    Journal journal;
    JournalFileSystem files{journal};
    JournalMessageBoxes boxes{journal};
    host::testing::RecordingToolRunner tools;
    host::testing::RecordingDesktopServices desktop;
    host::testing::ScriptedFileDialogs dialogs;
    std::function<host::ToolOutcome(const host::ToolCommand&)> compiler;
    host::ScopedFileSystem filesInForce{files};
    host::ScopedMessageBoxes boxesInForce{boxes};
    host::ScopedServices servicesInForce{&tools, &desktop, &dialogs};
    std::unique_ptr<frmMain> window; // last, so it goes first
};

} // namespace fixture
