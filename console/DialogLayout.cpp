#include "console/DialogLayout.h"

#include <QWidget>
#include <algorithm>

#include "console/Twips.h"

namespace qv {

void PlaceTwips(QWidget* control, double left, double top, double width, double height) {
    const int pixelsHigh = std::max(TwipsToPixelsY(height, control), control->minimumSizeHint().height());
    control->setGeometry(TwipsToPixelsX(left, control), TwipsToPixelsY(top, control), TwipsToPixelsX(width, control),
                         pixelsHigh);
}

double DecorationHeightTwips(const QWidget* window) {
    const int decoration = window->frameGeometry().height() - window->height();
    if (window->isVisible() && decoration > 0) return PixelsToTwipsY(decoration, window);
    return 330;
}

}  // namespace qv
