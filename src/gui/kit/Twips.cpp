#include "gui/kit/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace tq3::twips {

namespace {

constexpr double kTwipsPerInch = 1440.0;

const QScreen *orPrimary(const QScreen *screen)
{
    return screen ? screen : QGuiApplication::primaryScreen();
}

double dpiX(const QScreen *screen)
{
    const QScreen *s = orPrimary(screen);
    return s ? s->logicalDotsPerInchX() : 96.0;
}

double dpiY(const QScreen *screen)
{
    const QScreen *s = orPrimary(screen);
    return s ? s->logicalDotsPerInchY() : 96.0;
}

} // namespace

int toPixelsX(int twips, const QScreen *screen)
{
    return static_cast<int>(std::lround(twips * dpiX(screen) / kTwipsPerInch));
}

int toPixelsY(int twips, const QScreen *screen)
{
    return static_cast<int>(std::lround(twips * dpiY(screen) / kTwipsPerInch));
}

int fromPixelsX(int pixels, const QScreen *screen)
{
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpiX(screen)));
}

int fromPixelsY(int pixels, const QScreen *screen)
{
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / dpiY(screen)));
}

QPoint point(int left, int top, const QScreen *screen)
{
    return {toPixelsX(left, screen), toPixelsY(top, screen)};
}

QSize size(int width, int height, const QScreen *screen)
{
    return {toPixelsX(width, screen), toPixelsY(height, screen)};
}

QRect rect(int left, int top, int width, int height, const QScreen *screen)
{
    return {point(left, top, screen), size(width, height, screen)};
}

int screenWidth()
{
    const QScreen *s = orPrimary(nullptr);
    return s ? fromPixelsX(s->geometry().width(), s) : 0;
}

int screenHeight()
{
    const QScreen *s = orPrimary(nullptr);
    return s ? fromPixelsY(s->geometry().height(), s) : 0;
}

} // namespace tq3::twips
