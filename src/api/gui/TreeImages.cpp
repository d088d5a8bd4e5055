#include "api/gui/TreeImages.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace api::gui {

namespace {

const QColor kOnline(0x2e, 0xa0, 0x43);
const QColor kOffline(0x9a, 0x9a, 0x9a);
const QColor kOutline(0x40, 0x40, 0x40);

// Every picture is drawn on a 16 by 16 grid, scaled to the pixmap's size.
void building(QPainter& p) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(0x5b, 0x7d, 0xb1));
    p.drawRect(QRectF(3, 2, 10, 12.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe8, 0xf0, 0xfa));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(4.5 + col * 2.8, 3.5 + row * 2.6, 1.6, 1.5));
}

void folder(QPainter& p) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(0xe8, 0xb8, 0x4a));
    QPainterPath path;
    path.moveTo(1.5, 4);
    path.lineTo(6, 4);
    path.lineTo(7.5, 5.5);
    path.lineTo(14.5, 5.5);
    path.lineTo(14.5, 13.5);
    path.lineTo(1.5, 13.5);
    path.closeSubpath();
    p.drawPath(path);
    p.setBrush(QColor(0xf5, 0xd3, 0x7a));
    p.drawRect(QRectF(1.5, 7, 13, 6.5));
}

void car(QPainter& p, const QColor& body) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(body);
    QPainterPath path;
    path.moveTo(1, 11);
    path.lineTo(1, 8);
    path.lineTo(3.5, 7.5);
    path.lineTo(5.5, 4.5);
    path.lineTo(11, 4.5);
    path.lineTo(13, 7.5);
    path.lineTo(15, 8);
    path.lineTo(15, 11);
    path.closeSubpath();
    p.drawPath(path);
    p.setBrush(QColor(0xd8, 0xec, 0xf8));
    p.drawRect(QRectF(6, 5.5, 2.2, 2));
    p.drawRect(QRectF(9, 5.5, 2.2, 2));
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(4.5, 11.5), 1.7, 1.7);
    p.drawEllipse(QPointF(11.5, 11.5), 1.7, 1.7);
}

void terminal(QPainter& p, const QColor& lamp) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(0x6b, 0x78, 0x86));
    p.drawRoundedRect(QRectF(2, 4, 12, 9), 1.5, 1.5);
    p.setBrush(QColor(0x2b, 0x33, 0x3b));
    p.drawRect(QRectF(3.5, 5.5, 6.5, 6));
    p.setBrush(lamp);
    p.drawEllipse(QPointF(12, 7), 1.3, 1.3);
    p.setPen(QPen(kOutline, 0.8));
    p.drawLine(QPointF(6, 13), QPointF(6, 15));
    p.drawLine(QPointF(10, 13), QPointF(10, 15));
}

void camera(QPainter& p) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(0x3f, 0x6f, 0xa8));
    p.drawRoundedRect(QRectF(1.5, 5, 9.5, 7), 1.2, 1.2);
    QPainterPath lens;
    lens.moveTo(11, 7);
    lens.lineTo(15, 5);
    lens.lineTo(15, 12);
    lens.lineTo(11, 10);
    lens.closeSubpath();
    p.drawPath(lens);
    p.setBrush(QColor(0xd8, 0xec, 0xf8));
    p.drawEllipse(QPointF(6.2, 8.5), 2, 2);
}

QPixmap picture(int index, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    switch (index) {
    case 0:
        building(p);
        break;
    case 1:
        folder(p);
        break;
    case 2:
        car(p, kOnline);
        break;
    case 3:
        car(p, kOffline);
        break;
    case 4:
        terminal(p, QColor(0xd0, 0xd0, 0xd0));
        break;
    case 5:
        camera(p);
        break;
    case 6:
        terminal(p, QColor(0x4c, 0xe0, 0x5a));
        break;
    default:
        terminal(p, QColor(0xc0, 0x3a, 0x2e));
        break;
    }
    return pm;
}

} // namespace

const QIcon& TreeImages::icon(int index) {
    // Pixmaps must not outlive the application object: the icons go with it.
    static std::array<QIcon, kCount>* icons = nullptr;
    static const QIcon none;
    if (index < 0 || index >= kCount) return none;
    if (!icons) {
        icons = new std::array<QIcon, kCount>;
        for (int i = 0; i < kCount; ++i)
            for (int size : {16, 24, 32})
                (*icons)[i].addPixmap(picture(i, size));
        qAddPostRoutine([] {
            delete icons;
            icons = nullptr;
        });
    }
    return (*icons)[index];
}

} // namespace api::gui
