#include "platform/display.h"

#include <cstdlib>

namespace host {

bool hasGraphicalDisplay() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
#endif
}

std::string noDisplayMessage(const std::string& program) {
    return program + "：需要图形桌面才能运行（未找到 DISPLAY 或 WAYLAND_DISPLAY）。";
}

} // namespace host
