#pragma once
// Placing controls of a dialog by twips. A control is never made lower than
// its font needs, so large system fonts stay readable.
class QWidget;

namespace qv {

void PlaceTwips(QWidget* control, double left, double top, double width, double height);

// The height, in twips, that a window's caption bar and borders add: as the
// window system reports it once the window is shown, else the usual 330.
double DecorationHeightTwips(const QWidget* window);

}  // namespace qv
