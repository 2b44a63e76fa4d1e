#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QScreen;

// Window geometry is given in twips, 1440 to the inch; the screen's logical
// DPI turns them into the units Qt places widgets in.
namespace tq3::twips {

int toPixelsX(int twips, const QScreen *screen = nullptr);
int toPixelsY(int twips, const QScreen *screen = nullptr);
int fromPixelsX(int pixels, const QScreen *screen = nullptr);
int fromPixelsY(int pixels, const QScreen *screen = nullptr);

QPoint point(int left, int top, const QScreen *screen = nullptr);
QSize size(int width, int height, const QScreen *screen = nullptr);
QRect rect(int left, int top, int width, int height, const QScreen *screen = nullptr);

// The primary screen's width and height in twips.
int screenWidth();
int screenHeight();

} // namespace tq3::twips
