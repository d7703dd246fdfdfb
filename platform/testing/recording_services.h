// Stand-ins for the desktop services: they record every request, and the tool runner lets a
// test play the tool (write the file a compiler would write, print its output, fail to start).
// With a journal the tool runner notes each tool it starts: "run" when the caller waits for
// it, "start" when not.
#pragma once

#include "platform/host_error.h"
#include "platform/services.h"
#include "temp_folder.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace host::testing {

class RecordingToolRunner : public ToolRunner {
public:
    struct Call {
        ToolCommand command;
        bool waited = false;
    };
    std::vector<Call> calls;
    // Plays the tool for each call; its outcome is what a waiting caller gets back.
    std::function<ToolOutcome(const ToolCommand&)> behaviour;
    // Programs (by substring of their path) that cannot be started.
    std::vector<std::string> failToStart;
    std::vector<std::string>* journal = nullptr;

    void startDetached(const ToolCommand& command) override { run(command, false); }
    ToolOutcome runAndWait(const ToolCommand& command) override { return run(command, true); }

private:
    ToolOutcome run(const ToolCommand& command, bool waited) {
        for (const auto& f : failToStart) {
            if (command.program.find(f) != std::string::npos) {
                throw HostError("无法启动 " + command.program + "：模拟的故障");
            }
        }
        calls.push_back({command, waited});
        if (journal != nullptr) {
            journal->push_back((waited ? "run " : "start ") + command.program + " " +
                               command.arguments);
        }
        return behaviour ? behaviour(command) : ToolOutcome{true, 0, {}};
    }
};

// A compiler stand-in: it writes name into the folder it runs in, as hhc.exe writes the
// compiled file the project names.
inline std::function<ToolOutcome(const ToolCommand&)> writesCompiledFile(const std::string& name) {
    return [name](const ToolCommand& c) {
        if (c.program.ends_with("hhc.exe")) {
            writeFile(std::filesystem::path(c.workingFolder) / name, "ITSF compiled");
        }
        return ToolOutcome{true, 0, "compiled"};
    };
}

class RecordingDesktopServices : public DesktopServices {
public:
    std::vector<std::string> urls;
    bool answer = true;
    bool openUrl(const std::string& url) override {
        urls.push_back(url);
        return answer;
    }
};

class ScriptedFileDialogs : public FileDialogs {
public:
    std::vector<OpenFileRequest> requests;
    std::deque<std::optional<std::string>> answers; // empty queue: cancel
    std::optional<std::string> openFile(const OpenFileRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace host::testing
