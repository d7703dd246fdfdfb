// Window layouts are given in twips (1/1440 inch): 15 twips make a pixel at 96 dots per inch,
// and the screen's logical resolution scales them from there.
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QtMath>

namespace layout {

inline qreal screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

inline int twips(int value, qreal dpi = screenDpi()) {
    return qRound(value * dpi / 1440.0);
}

inline QRect twipRect(int left, int top, int width, int height, qreal dpi = screenDpi()) {
    return {twips(left, dpi), twips(top, dpi), twips(width, dpi), twips(height, dpi)};
}

} // namespace layout
