#include "console/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace qv {
namespace {

// The screen's logical DPI, or the usual 96 when no screen is known.
double screenDpi(const QWidget* widget, bool horizontal) {
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return 96.0;
    double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : 96.0;
}

}  // namespace

double LogicalDpiX(const QWidget* widget) { return screenDpi(widget, true); }
double LogicalDpiY(const QWidget* widget) { return screenDpi(widget, false); }

int TwipsToPixelsX(double twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips * LogicalDpiX(widget) / TwipsPerInch));
}
int TwipsToPixelsY(double twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips * LogicalDpiY(widget) / TwipsPerInch));
}
double PixelsToTwipsX(int pixels, const QWidget* widget) { return pixels * TwipsPerInch / LogicalDpiX(widget); }
double PixelsToTwipsY(int pixels, const QWidget* widget) { return pixels * TwipsPerInch / LogicalDpiY(widget); }

}  // namespace qv
