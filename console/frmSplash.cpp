#include "console/frmSplash.h"

#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>

#include "console/DialogLayout.h"
#include "console/ImageList.h"
#include "console/ScreenText.h"
#include "console/Twips.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "1.0"
#endif

namespace qv {
namespace {

QLabel* notice(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

frmSplash::frmSplash(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("frmSplash");
    MarkText(this, "1042");
    setWindowIcon(imlToolbarIcons().Image("dl"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(250, 250, 252));
    palette.setColor(QPalette::WindowText, QColor(20, 30, 50));
    setPalette(palette);

    auto* art = new QLabel(this);
    art->setObjectName("imgLogo");
    art->setPixmap(imlToolbarIcons().Image("dl").pixmap(TwipsToPixelsX(720, this)));
    auto* product = notice(this, "lblProduct", "KVOR Quorvel");
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    product->setFont(big);
    auto* version = notice(this, "lblVersion", QStringLiteral("Version ") + QUORVEL_VERSION);
    auto* tag = notice(this, "lblProductTag", QString());
    MarkText(tag, "1048");
    auto* warning = notice(this, "lblWarning", QString());
    MarkText(warning, "1045");
    auto* copyright = notice(this, "lblCopyright", "Copyright \u00A9 KVOR. All rights reserved.");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("pbInitialize");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    PlaceTwips(art, 240, 240, 900, 900);
    PlaceTwips(product, 1320, 240, 4800, 600);
    PlaceTwips(version, 1320, 840, 4800, 285);
    PlaceTwips(tag, 1320, 1170, 4800, 285);
    PlaceTwips(warning, 240, 1620, 5880, 780);
    PlaceTwips(copyright, 240, 2460, 5880, 285);
    PlaceTwips(bar_, 240, 2880, 5880, 240);
    setFixedSize(TwipsToPixelsX(6360, this), TwipsToPixelsY(3360, this));

    ApplyScreenText(this);
}

void frmSplash::ShowAsAbout() {
    bar_->setValue(bar_->maximum());
    setModal(true);
    exec();
}

void frmSplash::mousePressEvent(QMouseEvent* event) {
    event->accept();
    close();
}

}  // namespace qv
