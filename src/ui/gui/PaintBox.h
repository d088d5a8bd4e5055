#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QWidget>

#include "ui/DrawSurface.h"

namespace ui::gui {

class CaptionIcons;

// The drawing surface on a widget: every operation paints into a backing image of the
// widget's size and asks for a repaint of what it touched; the widget copies only that.
class PaintBox : public QWidget, public DrawSurface {
public:
    explicit PaintBox(QWidget* parent = nullptr);
    ~PaintBox() override;

    void FillRect(const Rect& r, Rgb colour) override;
    void Polyline(const Point* points, int count, Rgb colour, int penWidth) override;
    void TextRect(const Rect& r, std::string_view text, int size, Rgb colour, Align align) override;
    void StretchPicture(const Rect& to, const uint32_t* bits, int width, int height) override;
    void DrawIcon(int index, int x, int y) override;

    void setIcons(const CaptionIcons* list) { icons = list; }
    // What the widget shows (everything painted so far).
    const QImage& image();

    // Pixel height of the font at a size in points, as the original screen had it (96 dpi).
    static int pixelSize(int points) { return (points * 96 + 36) / 72; }
    // The Song-style CJK font in use for a size.
    QFont fontFor(int size);

    // (button, x, y): 0 left, 1 right, 2 middle.
    std::function<void(int, int, int)> OnMouseDown;
    std::function<void(int, int, int)> OnMouseUp;
    std::function<void()> OnDblClick;
    // The system asked to repaint more than this surface's own painting touched (the window
    // was uncovered, resized or shown).
    std::function<void()> OnExposed;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct FontEntry {
        QFont font;
        QFontMetrics metrics;
    };

    QPainter& painter();
    void endPainting();
    void fitBacking();
    void touched(const QRect& r);
    const FontEntry& fontEntry(int size);

    QImage backing;
    // Open on the backing image while painting goes on; ended before the image is read.
    std::unique_ptr<QPainter> active;
    QRegion requested;
    const CaptionIcons* icons = nullptr;
    std::map<int, FontEntry> fonts;
};

} // namespace ui::gui
