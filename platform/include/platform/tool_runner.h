// Starting the help tools. A tool is named by its full path and gets its whole argument text as
// one argument (never split, never through a shell), so blanks in names survive; our tools
// join their arguments with blanks and resolve such names themselves.
#pragma once

#include <string>

namespace host {

enum class WindowKind { Hidden, NormalFocus, MinimizedFocus };

struct ToolCommand {
    std::string program;   // full path of the tool
    std::string arguments; // the text after the tool's path and one blank
    std::string workingFolder;
    WindowKind window = WindowKind::NormalFocus;
};

struct ToolOutcome {
    bool started = false;
    int exitCode = -1;
    std::string output; // standard output and standard error, merged
};

class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // Starts the tool and returns at once. Throws HostError naming the tool when it cannot start.
    virtual void startDetached(const ToolCommand& command) = 0;
    // Starts the tool and waits for it to end. Windows keep repainting meanwhile, but no user
    // input is acted on. Throws HostError naming the tool when it cannot start.
    virtual ToolOutcome runAndWait(const ToolCommand& command) = 0;
};

// Hands a URL (mailto:, file:) to the desktop. False when nothing took it.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    virtual bool openUrl(const std::string& url) = 0;
};

} // namespace host
