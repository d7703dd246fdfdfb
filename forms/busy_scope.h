// A window at work on something the user waits for: for the life of the object the window is
// disabled, the wait cursor shown and the busy flag set; every way out, exceptions included,
// restores all three.
#pragma once

#include <QApplication>
#include <QWidget>

class BusyScope {
public:
    BusyScope(QWidget& window, bool& busy) : m_window(window), m_busy(busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_busy = true;
        m_window.setEnabled(false);
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        m_window.setEnabled(true);
        m_busy = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    QWidget& m_window;
    bool& m_busy;
};
