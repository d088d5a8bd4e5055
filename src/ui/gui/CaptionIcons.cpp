#include "ui/gui/CaptionIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace ui::gui {

namespace {

const QColor kGrey(150, 150, 150);
const QColor kLight(225, 225, 225);
const QColor kRed(235, 40, 40);

void videoCamera(QPainter& p, bool recording) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGrey);
    p.drawRoundedRect(QRectF(1, 4.5, 9.5, 7.5), 1.5, 1.5);
    p.drawPolygon(QPolygonF({QPointF(10, 8.25), QPointF(15, 5), QPointF(15, 11.5)}));
    if (recording) {
        p.setBrush(kRed);
        p.drawEllipse(QPointF(4.5, 8.25), 2.5, 2.5);
    }
}

void photoCamera(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawRoundedRect(QRectF(1, 5, 14, 9), 1.5, 1.5);
    p.drawRect(QRectF(5, 3, 5, 2.5));
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(8, 9.5), 3.2, 3.2);
    p.setBrush(kGrey);
    p.drawEllipse(QPointF(8, 9.5), 1.8, 1.8);
}

void pauseBars(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawRect(QRectF(4, 3, 3, 10));
    p.drawRect(QRectF(9, 3, 3, 10));
}

void playTriangle(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawPolygon(QPolygonF({QPointF(4, 2.5), QPointF(13.5, 8), QPointF(4, 13.5)}));
}

void loudspeaker(QPainter& p, bool on) {
    p.setPen(Qt::NoPen);
    p.setBrush(on ? kLight : kGrey);
    p.drawPolygon(QPolygonF({QPointF(1.5, 6), QPointF(4.5, 6), QPointF(8.5, 2.5),
                             QPointF(8.5, 13.5), QPointF(4.5, 10), QPointF(1.5, 10)}));
    if (!on) return;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kRed, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(6.5, 5, 5, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(6.5, 2.5, 8, 11), -50 * 16, 100 * 16);
}

void fitFrame(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGrey, 1));
    p.drawRect(QRectF(4.5, 4.5, 7, 7));
    p.setPen(QPen(kLight, 1.3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    // An arrow out of every corner.
    const QPointF corners[4] = {{1.5, 1.5}, {14.5, 1.5}, {14.5, 14.5}, {1.5, 14.5}};
    for (const QPointF& c : corners) {
        const qreal dx = c.x() < 8 ? 1 : -1, dy = c.y() < 8 ? 1 : -1;
        p.drawLine(c, c + QPointF(3.5 * dx, 3.5 * dy));
        p.drawLine(c, c + QPointF(3 * dx, 0));
        p.drawLine(c, c + QPointF(0, 3 * dy));
    }
}

void cross(QPainter& p) {
    p.setPen(QPen(kLight, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

} // namespace

CaptionIcons::CaptionIcons() {
    for (int i = 0; i < kCount; ++i) {
        QImage& img = images[static_cast<size_t>(i)];
        img = QImage(kSize, kSize, QImage::Format_RGB32);
        img.fill(Qt::black);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        switch (i) {
        case 0:
            videoCamera(p, false);
            break;
        case 1:
            videoCamera(p, true);
            break;
        case 2:
            photoCamera(p);
            break;
        case 3:
            pauseBars(p);
            break;
        case 4:
            playTriangle(p);
            break;
        case 5:
            loudspeaker(p, false);
            break;
        case 6:
            loudspeaker(p, true);
            break;
        case 7:
            fitFrame(p);
            break;
        case 8:
            cross(p);
            break;
        }
    }
}

} // namespace ui::gui
