// What the main window's tests share: a temporary program folder with the shipped templates,
// a folder of pages that is current when the window opens, and stand-ins for every service
// the window uses. The stand-ins write one journal, so a test can check the order of what
// happened and the window's state at each step (status text, disabled, busy pointer).
#pragma once

#include "faulty_file_system.h"
#include "frmMain.h"
#include "modProject.h"
#include "platform/file_system.h"
#include "platform/services.h"
#include "qt_host.h"
#include "recording_message_boxes.h"
#include "recording_services.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace fixture {

inline std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void write(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

inline std::string pageWithTitle(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body></body></html>\r\n";
}

// The window's state as the journal shows it.
inline std::string stateOf(const frmMain* window) {
    if (window == nullptr) {
        return "no window";
    }
    std::string state = host::fromQString(window->statusText());
    if (!window->isEnabled()) {
        state += ",disabled";
    }
    if (QApplication::overrideCursor() != nullptr) {
        state += ",busy";
    }
    return state;
}

struct Journal {
    std::vector<std::string> entries;
    std::string root; // paths are written relative to it
    const frmMain* window = nullptr;

    std::string relative(std::string path) const {
        if (!root.empty() && path.compare(0, root.size(), root) == 0) {
            path = path.substr(root.size());
        }
        return path;
    }
    void add(const std::string& what) { entries.push_back(what + " [" + stateOf(window) + "]"); }
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

// Closes the next modal dialog once it is open and hands it to check first.
inline void answerNextDialog(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            return;
        }
        check(dialog);
        if (auto* asDialog = qobject_cast<QDialog*>(dialog)) {
            asDialog->reject();
        } else {
            dialog->close();
        }
    });
}

class WindowFixture {
public:
    WindowFixture() {
        const char* source = std::getenv("QUORLIN_SOURCE_DIR");
        m_source = source != nullptr ? source : "";
    }

    // Lays out a fresh program folder and page folder and puts the stand-ins in force.
    void setUp(const std::string& name) {
        m_root = fs::temp_directory_path() / ("quorlin-widgets-" + name);
        fs::remove_all(m_root);
        fs::create_directories(app());
        fs::create_directories(pages());
        fs::copy_file(fs::path(m_source) / "data" / "chm_dll0.dll", app() / "chm_dll0.dll");
        fs::copy_file(fs::path(m_source) / "data" / "chm_dll1.dll", app() / "chm_dll1.dll");
        journal = Journal{};
        journal.root = m_root.string() + "/";
        files = std::make_unique<JournalFileSystem>(journal);
        files->extraDrives = {m_root.string() + "/"}; // so that another drive can be picked
        boxes = std::make_unique<JournalMessageBoxes>(journal);
        tools = std::make_unique<host::testing::RecordingToolRunner>();
        desktop = std::make_unique<host::testing::RecordingDesktopServices>();
        dialogs = std::make_unique<host::testing::ScriptedFileDialogs>();
        m_files = std::make_unique<host::ScopedFileSystem>(*files);
        m_boxes = std::make_unique<host::ScopedMessageBoxes>(*boxes);
        m_services =
            std::make_unique<host::ScopedServices>(tools.get(), desktop.get(), dialogs.get());
        modProject::CurrentProject = {};
        modProject::BuildAction.reset();
        tools->behaviour = [this](const host::ToolCommand& command) {
            journal.add((command.window == host::WindowKind::Hidden ? "run " : "start ") +
                        journal.relative(command.program) + " " + command.arguments + " in " +
                        journal.relative(command.workingFolder));
            return compiler ? compiler(command) : host::ToolOutcome{true, 0, {}};
        };
    }

    // Opens the window with folder current, as the program opens it at start.
    frmMain& open(const fs::path& folder) {
        fs::current_path(folder);
        window = std::make_unique<frmMain>(app().string());
        journal.window = window.get();
        journal.entries.clear();
        return *window;
    }

    void tearDown() {
        journal.window = nullptr;
        window.reset();
        m_services.reset();
        m_boxes.reset();
        m_files.reset();
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(m_root);
    }

    // A compiler stand-in that writes the compiled file the project names.
    host::ToolOutcome writeCompiledFile(const host::ToolCommand& command,
                                        const std::string& name = "chm_hhp.chm") {
        write(fs::path(command.workingFolder) / name, "ITSF compiled " + command.arguments);
        return {true, 0, "compiled"};
    }

    fs::path root() const { return m_root; }
    fs::path app() const { return m_root / "app"; }
    fs::path pages() const { return m_root / "pages"; }
    std::string appFolder() const { return app().string() + "/"; }

    Journal journal;
    std::unique_ptr<JournalFileSystem> files;
    std::unique_ptr<JournalMessageBoxes> boxes;
    std::unique_ptr<host::testing::RecordingToolRunner> tools;
    std::unique_ptr<host::testing::RecordingDesktopServices> desktop;
    std::unique_ptr<host::testing::ScriptedFileDialogs> dialogs;
    std::function<host::ToolOutcome(const host::ToolCommand&)> compiler;
    std::unique_ptr<frmMain> window;

private:
    std::string m_source;
    fs::path m_root;
    std::unique_ptr<host::ScopedFileSystem> m_files;
    std::unique_ptr<host::ScopedMessageBoxes> m_boxes;
    std::unique_ptr<host::ScopedServices> m_services;
};

} // namespace fixture
