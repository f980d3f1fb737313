#pragma once
// Window coordinates are kept in twips (1/1440 inch) and converted to Qt's
// device-independent pixels at the edge, with the logical DPI of the screen
// the widget is on (the primary screen when there is no widget).
class QWidget;

namespace qv {

inline constexpr double TwipsPerInch = 1440.0;

double LogicalDpiX(const QWidget* widget = nullptr);
double LogicalDpiY(const QWidget* widget = nullptr);

int TwipsToPixelsX(double twips, const QWidget* widget = nullptr);
int TwipsToPixelsY(double twips, const QWidget* widget = nullptr);
double PixelsToTwipsX(int pixels, const QWidget* widget = nullptr);
double PixelsToTwipsY(int pixels, const QWidget* widget = nullptr);

}  // namespace qv
