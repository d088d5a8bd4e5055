// Random data through the NAL splitter in both modes: every unit lies inside the data behind a
// 4-byte start code, holds none itself, and the scan always moves forward and ends.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/Decodesps.h"

namespace {

bool startCode(const uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1;
}

void scan(const uint8_t* d, int n, bool lastToEnd) {
    int pos = 0, units = 0, lastEnd = 0;
    media::NalUnit u;
    while (media::NextNalUnit(d, n, pos, lastToEnd, u)) {
        if (u.offset < 4 || u.offset < lastEnd || u.size < 0 || u.offset + u.size > n) std::abort();
        if (u.data != d + u.offset || !startCode(d + u.offset - 4)) std::abort();
        if (u.type != (d[u.offset] & 0x1F)) std::abort();
        for (int i = u.offset; i + 4 <= u.offset + u.size; ++i)
            if (startCode(d + i)) std::abort();
        if (pos != u.offset + u.size) std::abort();
        lastEnd = pos;
        if (++units > n) std::abort(); // no progress
    }
    if (pos < 0 || pos > n) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
    if (size) std::memcpy(copy.get(), data, size);
    scan(copy.get(), static_cast<int>(size), true);
    scan(copy.get(), static_cast<int>(size), false);
    return 0;
}
