#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace media {

// The last picture of a channel as a 32-bit bitmap (pixel value 0x00RRGGBB), with a table of
// row addresses for the colour conversions.
class VideoFrame {
public:
    static constexpr int kMaxRows = 2048;

    // Fails for more than 2048 rows (or a negative size).
    bool SizeTo(int rows, int columns);
    void Clear();
    // The view's fetch: true when a new picture waits (it is then taken), else `force`; false
    // whenever there is no bitmap. `bitmap` is set whenever the result is true.
    bool Take(bool force, const uint32_t*& bitmap);

    int width() const { return columns; }
    int height() const { return rows; }
    uint32_t* const* rowTable() const { return rowAddr.data(); }
    const uint32_t* bits() const { return pixels.data(); }
    uint32_t pixel(int row, int column) const { return rowAddr[row][column]; }

    uint16_t shownCount = 0;
    bool hasPicture = false;
    bool newPicture = false;

private:
    std::vector<uint32_t> pixels;
    std::array<uint32_t*, kMaxRows> rowAddr{};
    int rows = 0;
    int columns = 0;
    bool allocated = false;
};

} // namespace media
