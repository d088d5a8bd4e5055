#include "ui/DrawSurface.h"

namespace ui {

TextPlace placeText(const Rect& r, int textWidth, int textHeight, Align align) {
    TextPlace p;
    p.clip = Rect{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    p.y = (p.clip.top + p.clip.bottom - textHeight) / 2 + 2;
    p.x = align == Align::Left ? p.clip.left : (p.clip.left + p.clip.right - textWidth) / 2;
    return p;
}

void Outline(DrawSurface& surface, const Rect& r, Rgb colour, int penWidth) {
    const Point corners[5] = {{r.left, r.top},
                              {r.right, r.top},
                              {r.right, r.bottom},
                              {r.left, r.bottom},
                              {r.left, r.top}};
    surface.Polyline(corners, 5, colour, penWidth);
}

} // namespace ui
