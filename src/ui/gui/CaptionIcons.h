#pragma once

#include <array>

#include <QImage>

#include "ui/DrawSurface.h"

namespace ui::gui {

// The nine 16 x 16 caption icons, drawn here: 0 camera, 1 camera recording (red dot), 2 photo
// camera, 3 pause, 4 play, 5 loudspeaker off (grey), 6 loudspeaker on (red waves), 7 fit,
// 8 close. Opaque on black, so drawing one over another replaces it.
class CaptionIcons : public IconList {
public:
    static constexpr int kCount = 9;
    static constexpr int kSize = 16;

    CaptionIcons();
    int Count() const override { return kCount; }
    const QImage& image(int index) const { return images[static_cast<size_t>(index)]; }

private:
    std::array<QImage, kCount> images;
};

} // namespace ui::gui
