#pragma once

#include <cstdint>

#include "ui/DrawSurface.h"

namespace media {
class RTPPlayer;
}

namespace ui {

// One numbered cell of the picture grid.
struct ChanelPic {
    static constexpr int kStripHeight = 20;

    uint8_t number = 0;
    // Repainted whole at the next draw.
    bool dirty = true;
    // Owned by the grid's players map; none means the cell is free.
    media::RTPPlayer* player = nullptr;
    // Where the picture goes; the caption strip lies directly below it.
    Rect area;
    // Scale the picture to the cell even when it is smaller.
    bool fit = true;

    Rect strip() const { return {area.left, area.bottom, area.right, area.bottom + kStripHeight}; }
};

} // namespace ui
