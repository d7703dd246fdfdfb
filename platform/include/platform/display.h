// Whether a graphical desktop is there to show windows on, decided before any toolkit is
// started: a toolkit that finds none aborts the process instead of saying why.
#pragma once

#include <string>

namespace host {

// True when the environment names a desktop (DISPLAY or WAYLAND_DISPLAY, not empty) or chooses
// a window platform itself (QT_QPA_PLATFORM, not empty). Always true on Windows and macOS,
// where the desktop is part of the system.
bool hasGraphicalDisplay();

// The one-line message for a program that cannot start without a desktop, e.g.
// "chmquorlin：需要图形桌面才能运行（未找到 DISPLAY 或 WAYLAND_DISPLAY）。"
std::string noDisplayMessage(const std::string& program);

} // namespace host
