#include "media/VideoFrame.h"

#include <cstddef>

namespace media {

bool VideoFrame::SizeTo(int newRows, int newColumns) {
    if (newRows > kMaxRows || newRows < 0 || newColumns < 0) return false;
    if (allocated && newRows == rows && newColumns == columns) return true;
    pixels.assign(static_cast<std::size_t>(newRows) * static_cast<std::size_t>(newColumns), 0);
    rows = newRows;
    columns = newColumns;
    rowAddr.fill(nullptr);
    for (int r = 0; r < rows; ++r)
        rowAddr[r] =
            pixels.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
    allocated = true;
    hasPicture = true;
    return true;
}

void VideoFrame::Clear() {
    std::vector<uint32_t>().swap(pixels);
    rowAddr.fill(nullptr);
    rows = columns = 0;
    allocated = false;
    shownCount = 0;
    hasPicture = false;
    newPicture = false;
}

bool VideoFrame::Take(bool force, const uint32_t*& bitmap) {
    if (!hasPicture) return false;
    bitmap = pixels.data();
    if (newPicture) {
        ++shownCount;
        newPicture = false;
        return true;
    }
    return force;
}

} // namespace media
