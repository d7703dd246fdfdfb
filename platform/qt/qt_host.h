// The Qt implementations of the host interfaces that need a desktop: message boxes, tool
// starts, URL hand-off and the single-instance lock.
#pragma once

#include "platform/message_box.h"
#include "platform/services.h"
#include "platform/tool_runner.h"

#include <QString>
#include <memory>

class QLockFile;
class QWidget;

namespace host {

QString toQString(const std::string& utf8);
std::string fromQString(const QString& text);

class QtMessageBoxes : public MessageBoxes {
public:
    // title: the application's title, shown on boxes that carry no title of their own.
    explicit QtMessageBoxes(QString applicationTitle);
    MessageAnswer show(const MessageRequest& request) override;

private:
    QString m_applicationTitle;
};

class QtToolRunner : public ToolRunner {
public:
    void startDetached(const ToolCommand& command) override;
    ToolOutcome runAndWait(const ToolCommand& command) override;
};

class QtDesktopServices : public DesktopServices {
public:
    bool openUrl(const std::string& url) override;
};

class QtFileDialogs : public FileDialogs {
public:
    std::optional<std::string> openFile(const OpenFileRequest& request) override;
};

// A per-user lock held for the life of the object. A lock left by a crashed instance is
// recognised as stale and taken over.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);
    ~SingleInstanceLock();
    bool acquired() const { return m_acquired; }

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_acquired = false;
};

} // namespace host
