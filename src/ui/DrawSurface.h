#pragma once

#include <cstdint>
#include <string_view>

namespace ui {

// Pixel rectangle; right and bottom are the first column and row outside it, except where an
// operation says it includes them (outlines, hit tests).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // All four edges count as inside.
    bool holds(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// 0x00RRGGBB.
using Rgb = uint32_t;
constexpr Rgb rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (Rgb{r} << 16) | (Rgb{g} << 8) | b;
}

enum class Align { Left, Centre };

// An image list of 16 x 16 icons; the surface that draws them holds the images.
class IconList {
public:
    virtual ~IconList() = default;
    virtual int Count() const = 0;
};

// Where the grid, the timelines and the clip bar paint. All text is GBK; the font is the
// system's Song-style CJK font at the size given.
class DrawSurface {
public:
    virtual ~DrawSurface() = default;

    virtual void FillRect(const Rect& r, Rgb colour) = 0;
    virtual void Polyline(const Point* points, int count, Rgb colour, int penWidth) = 0;
    // Empty text draws nothing. Otherwise the rectangle shrinks by 2 pixels on every side, is
    // filled black (the surface's fill) and the text is placed in it as placeText says,
    // clipped to it.
    virtual void TextRect(const Rect& r, std::string_view text, int size, Rgb colour,
                          Align align) = 0;
    // A 32-bit bitmap (pixel 0x00RRGGBB, rows top down, no padding) stretched into `to`.
    virtual void StretchPicture(const Rect& to, const uint32_t* bits, int width, int height) = 0;
    // Image `index` of the surface's icon list with its top left corner at (x, y); an index
    // the list does not hold draws nothing.
    virtual void DrawIcon(int index, int x, int y) = 0;
};

// Where text of a measured size goes in a text rectangle: the shrunk rectangle it is clipped
// to, and its top left corner.
struct TextPlace {
    Rect clip;
    int x = 0;
    int y = 0;
};
TextPlace placeText(const Rect& r, int textWidth, int textHeight, Align align);

// The four corners and back to the first, as outlines are drawn.
void Outline(DrawSurface& surface, const Rect& r, Rgb colour, int penWidth);

} // namespace ui
