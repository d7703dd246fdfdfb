// The desktop services the windows use, each behind an interface and reachable from one place,
// so tests put stand-ins in their stead. The program installs the Qt implementations at start.
#pragma once

#include "platform/tool_runner.h"

#include <optional>
#include <string>

namespace host {

struct OpenFileRequest {
    std::string title;
    // "Description (*.ext)|*.ext" pairs joined by "|", as the classic common dialog takes them.
    std::string filter;
    std::string initialFileName;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen file's full path; nothing when the user cancels.
    virtual std::optional<std::string> openFile(const OpenFileRequest& request) = 0;
};

ToolRunner& toolRunner();
DesktopServices& desktopServices();
FileDialogs& fileDialogs();

// Puts stand-ins (or the real desktop implementations) in force for the object's lifetime.
// A null pointer keeps the service in force.
class ScopedServices {
public:
    ScopedServices(ToolRunner* tools, DesktopServices* desktop, FileDialogs* dialogs);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    ToolRunner* m_tools;
    DesktopServices* m_desktop;
    FileDialogs* m_dialogs;
};

} // namespace host
