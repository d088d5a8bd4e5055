#include "ui/gui/PaintBox.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>

#include "ui/gui/CaptionIcons.h"
#include "util/GbkText.h"

namespace ui::gui {

namespace {

QColor colourOf(Rgb c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

QRect qrect(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

int buttonOf(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return 0;
    case Qt::RightButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    default:
        return -1;
    }
}

} // namespace

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
    // Every pixel comes from the backing image: Qt need not clear anything first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    fitBacking();
}

PaintBox::~PaintBox() {
    endPainting();
}

QPainter& PaintBox::painter() {
    if (!active) {
        fitBacking();
        active = std::make_unique<QPainter>(&backing);
    }
    return *active;
}

void PaintBox::fitBacking() {
    // A hidden widget gets its resize event only when shown; the image follows the size at
    // once, so that painting before the first show lands where it belongs.
    const QSize want(std::max(width(), 1), std::max(height(), 1));
    if (backing.size() == want) return;
    endPainting();
    QImage resized(want, QImage::Format_RGB32);
    resized.fill(Qt::black);
    if (!backing.isNull()) {
        QPainter p(&resized);
        p.drawImage(0, 0, backing);
    }
    backing = std::move(resized);
}

void PaintBox::endPainting() {
    active.reset();
}

const QImage& PaintBox::image() {
    endPainting();
    fitBacking();
    return backing;
}

void PaintBox::touched(const QRect& r) {
    const QRect on = r.intersected(rect());
    if (on.isEmpty()) return;
    requested += on;
    update(on);
}

QFont PaintBox::fontFor(int size) {
    return fontEntry(size).font;
}

const PaintBox::FontEntry& PaintBox::fontEntry(int size) {
    auto it = fonts.find(size);
    if (it != fonts.end()) return it->second;
    QFont f;
    // Song style first, the sans face where the serif one is missing.
    f.setFamilies({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(pixelSize(size));
    return fonts.emplace(size, FontEntry{f, QFontMetrics(f)}).first->second;
}

void PaintBox::FillRect(const Rect& r, Rgb colour) {
    const QRect q = qrect(r);
    if (q.isEmpty()) return;
    painter().fillRect(q, colourOf(colour));
    touched(q);
}

void PaintBox::Polyline(const Point* points, int count, Rgb colour, int penWidth) {
    if (count < 2) return;
    QPainter& p = painter();
    QPolygon line(count);
    for (int i = 0; i < count; ++i)
        line.setPoint(i, points[i].x, points[i].y);
    p.setPen(QPen(colourOf(colour), penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line);
    const int m = penWidth + 1;
    touched(line.boundingRect().adjusted(-m, -m, m, m));
}

void PaintBox::TextRect(const Rect& r, std::string_view text, int size, Rgb colour, Align align) {
    if (text.empty()) return;
    const FontEntry& f = fontEntry(size);
    const QString s = QString::fromUtf8(util::gbkToUtf8(text));
    const TextPlace at = placeText(r, f.metrics.horizontalAdvance(s), f.metrics.height(), align);
    const QRect clip = qrect(at.clip);
    if (clip.isEmpty()) return;
    QPainter& p = painter();
    p.fillRect(clip, Qt::black);
    p.save();
    p.setClipRect(clip);
    p.setFont(f.font);
    p.setPen(colourOf(colour));
    p.drawText(at.x, at.y + f.metrics.ascent(), s);
    p.restore();
    touched(clip);
}

void PaintBox::StretchPicture(const Rect& to, const uint32_t* bits, int width, int height) {
    const QRect q = qrect(to);
    if (bits == nullptr || width <= 0 || height <= 0 || q.isEmpty()) return;
    // The bitmap stays the player's; QImage only looks at it here.
    const QImage picture(reinterpret_cast<const uchar*>(bits), width, height, width * 4,
                         QImage::Format_RGB32);
    painter().drawImage(q, picture);
    touched(q);
}

void PaintBox::DrawIcon(int index, int x, int y) {
    if (icons == nullptr || index < 0 || index >= icons->Count()) return;
    const QImage& img = icons->image(index);
    painter().drawImage(x, y, img);
    touched(QRect(QPoint(x, y), img.size()));
}

void PaintBox::paintEvent(QPaintEvent* event) {
    endPainting();
    fitBacking();
    const bool exposed = !(event->region() - requested).isEmpty();
    requested = QRegion();
    QPainter p(this);
    for (const QRect& r : event->region())
        p.drawImage(r, backing, r);
    if (exposed && OnExposed) OnExposed();
}

void PaintBox::resizeEvent(QResizeEvent* event) {
    fitBacking();
    QWidget::resizeEvent(event);
}

void PaintBox::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseDown) OnMouseDown(buttonOf(event->button()), at.x(), at.y());
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (OnMouseUp) OnMouseUp(buttonOf(event->button()), at.x(), at.y());
}

void PaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // As the original toolkit did: the double click, then the press it also is.
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick();
    mousePressEvent(event);
}

} // namespace ui::gui
