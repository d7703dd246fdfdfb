#include "platform/services.h"

#include "platform/host_error.h"

namespace host {

namespace {

// Without a desktop nothing can be started or chosen: say so instead of pretending.
class NoToolRunner : public ToolRunner {
public:
    void startDetached(const ToolCommand& command) override {
        throw HostError("无法启动 " + command.program + "：没有可用的桌面环境");
    }
    ToolOutcome runAndWait(const ToolCommand& command) override {
        throw HostError("无法启动 " + command.program + "：没有可用的桌面环境");
    }
};

class NoDesktopServices : public DesktopServices {
public:
    bool openUrl(const std::string&) override { return false; }
};

class NoFileDialogs : public FileDialogs {
public:
    std::optional<std::string> openFile(const OpenFileRequest&) override { return std::nullopt; }
};

ToolRunner* g_tools = nullptr;
DesktopServices* g_desktop = nullptr;
FileDialogs* g_dialogs = nullptr;

} // namespace

ToolRunner& toolRunner() {
    static NoToolRunner fallback;
    return g_tools != nullptr ? *g_tools : fallback;
}

DesktopServices& desktopServices() {
    static NoDesktopServices fallback;
    return g_desktop != nullptr ? *g_desktop : fallback;
}

FileDialogs& fileDialogs() {
    static NoFileDialogs fallback;
    return g_dialogs != nullptr ? *g_dialogs : fallback;
}

ScopedServices::ScopedServices(ToolRunner* tools, DesktopServices* desktop, FileDialogs* dialogs)
    : m_tools(g_tools), m_desktop(g_desktop), m_dialogs(g_dialogs) {
    if (tools != nullptr) {
        g_tools = tools;
    }
    if (desktop != nullptr) {
        g_desktop = desktop;
    }
    if (dialogs != nullptr) {
        g_dialogs = dialogs;
    }
}

ScopedServices::~ScopedServices() {
    g_tools = m_tools;
    g_desktop = m_desktop;
    g_dialogs = m_dialogs;
}

} // namespace host
