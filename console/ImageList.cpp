#include "console/ImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>
#include <functional>

namespace qv {
namespace {

using Painter = std::function<void(QPainter&)>;

// An icon drawn on a 16x16 grid at several scales.
QIcon drawn(const Painter& paint) {
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPen outline(const QColor& color, double width = 1.0) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void server(QPainter& p) {
    p.setPen(outline(QColor(60, 60, 70)));
    p.setBrush(QColor(190, 195, 205));
    p.drawRoundedRect(QRectF(4.5, 1.5, 7, 13), 1, 1);
    p.setPen(outline(QColor(90, 90, 100)));
    for (double y : {4.5, 7.0, 9.5}) p.drawLine(QPointF(6, y), QPointF(10, y));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 170, 60));
    p.drawEllipse(QPointF(8, 12.3), 0.9, 0.9);
}

void organisation(QPainter& p) {
    p.setPen(outline(QColor(30, 60, 120)));
    p.setBrush(QColor(90, 140, 210));
    p.drawRect(QRectF(2.5, 4.5, 11, 10));
    p.setBrush(QColor(60, 100, 170));
    p.drawRect(QRectF(5.5, 1.5, 5, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 240, 255));
    for (double x : {4.0, 7.0, 10.0})
        for (double y : {6.0, 9.0}) p.drawRect(QRectF(x, y, 2, 2));
    p.setBrush(QColor(30, 60, 120));
    p.drawRect(QRectF(7, 12, 2, 2.5));
}

void site(QPainter& p) {
    p.setPen(outline(QColor(20, 100, 60)));
    p.setBrush(QColor(120, 200, 150));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
}

void container(QPainter& p) {
    QPainterPath folder;
    folder.moveTo(1.5, 3.5);
    folder.lineTo(6, 3.5);
    folder.lineTo(7.5, 5);
    folder.lineTo(14.5, 5);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    p.setPen(outline(QColor(150, 110, 20)));
    p.setBrush(QColor(245, 200, 80));
    p.drawPath(folder);
    p.setBrush(QColor(252, 222, 130));
    p.drawRect(QRectF(1.5, 6.5, 13, 7));
}

void person(QPainter& p, double x, double y, const QColor& color) {
    p.setBrush(color);
    p.drawEllipse(QPointF(x, y), 2.2, 2.2);
    QPainterPath body;
    body.moveTo(x - 4, y + 8);
    body.cubicTo(x - 4, y + 3, x + 4, y + 3, x + 4, y + 8);
    body.closeSubpath();
    p.drawPath(body);
}

void distributionList(QPainter& p) {
    p.setPen(outline(QColor(40, 40, 80), 0.8));
    person(p, 10.5, 4, QColor(120, 150, 220));
    person(p, 5.5, 6.5, QColor(70, 110, 200));
}

void deleteMark(QPainter& p) {
    p.setPen(outline(QColor(200, 30, 30), 2.6));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void sheet(QPainter& p, const QRectF& rect) {
    p.setPen(outline(QColor(80, 80, 90)));
    p.setBrush(Qt::white);
    p.drawRect(rect);
    p.setPen(outline(QColor(120, 140, 180)));
    for (double y = rect.top() + 2.5; y < rect.bottom() - 1; y += 2.5)
        p.drawLine(QPointF(rect.left() + 2, y), QPointF(rect.right() - 2, y));
}

void properties(QPainter& p) {
    sheet(p, QRectF(2.5, 1.5, 9, 13));
    p.setPen(outline(QColor(30, 80, 160), 1.6));
    p.drawLine(QPointF(9, 13), QPointF(14, 8));
    p.setPen(outline(QColor(220, 160, 40), 1.6));
    p.drawLine(QPointF(14, 8), QPointF(15, 7));
}

void designer(QPainter& p) {
    sheet(p, QRectF(1.5, 1.5, 9, 12));
    p.setPen(outline(QColor(40, 40, 40), 1.3));
    p.setBrush(QColor(200, 230, 255, 200));
    p.drawEllipse(QPointF(9.5, 8.5), 3.2, 3.2);
    p.setPen(outline(QColor(40, 40, 40), 2.2));
    p.drawLine(QPointF(11.8, 10.8), QPointF(14.5, 13.5));
}

void eventLog(QPainter& p) {
    sheet(p, QRectF(1.5, 1.5, 10, 13));
    p.setPen(outline(QColor(150, 90, 0)));
    p.setBrush(QColor(250, 200, 40));
    QPolygonF triangle({QPointF(11, 6.5), QPointF(15, 14.5), QPointF(7, 14.5)});
    p.drawPolygon(triangle);
    p.setPen(outline(QColor(40, 30, 0), 1.2));
    p.drawLine(QPointF(11, 9), QPointF(11, 11.8));
    p.drawPoint(QPointF(11, 13.3));
}

void update(QPainter& p) {
    distributionList(p);
    p.setPen(outline(QColor(20, 110, 40)));
    p.setBrush(QColor(60, 180, 80));
    QPolygonF arrow({QPointF(9, 8), QPointF(15, 11.5), QPointF(9, 15)});
    p.drawPolygon(arrow);
}

void refresh(QPainter& p) {
    p.setPen(outline(QColor(30, 100, 190), 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 100, 190));
    QPolygonF head({QPointF(10.5, 1.5), QPointF(14.8, 4.6), QPointF(10, 6.8)});
    p.drawPolygon(head);
}

void options(QPainter& p) {
    QPainterPath gear;
    const QPointF centre(8, 8);
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double angle = M_PI * i / teeth;
        const double radius = (i % 2 == 0) ? 7.0 : 5.2;
        QPointF point(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(centre, 2.2, 2.2);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(outline(QColor(60, 60, 70), 0.8));
    p.setBrush(QColor(150, 155, 170));
    p.drawPath(gear);
}

void exitDoor(QPainter& p) {
    p.setPen(outline(QColor(90, 50, 20)));
    p.setBrush(QColor(180, 110, 60));
    p.drawRect(QRectF(2.5, 1.5, 7, 13));
    p.setPen(outline(QColor(200, 30, 30), 1.8));
    p.drawLine(QPointF(8, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
    p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
}

}  // namespace

ImageList::ImageList() {
    Add("Delete", drawn(deleteMark));
    Add("Properties", drawn(properties));
    Add("server", drawn(server));
    Add("designer", drawn(designer));
    Add("eventvwr", drawn(eventLog));
    Add("update", drawn(update));
    Add("exit", drawn(exitDoor));
    Add("refresh", drawn(refresh));
    Add("options", drawn(options));
    Add("org", drawn(organisation));
    Add("site", drawn(site));
    Add("container", drawn(container));
    Add("dl", drawn(distributionList));
}

void ImageList::Add(const QString& key, const QIcon& icon) {
    images_.insert(key, icon);
    keys_.append(key);
}

const ImageList& imlToolbarIcons() {
    static const ImageList list;
    return list;
}

}  // namespace qv
