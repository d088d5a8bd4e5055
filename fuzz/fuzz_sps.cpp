// Random units up to 1024 bytes, as the callers pass them: the reader stays inside the unit and
// fails exactly when the unit is not an SPS.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/Decodesps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024) return 0;
    // An exact-size copy, so that a read one byte too far is caught.
    std::unique_ptr<uint8_t[]> unit(new uint8_t[size == 0 ? 1 : size]);
    if (size) std::memcpy(unit.get(), data, size);
    media::SpsInfo info;
    const bool ok = media::ParseSps(size ? unit.get() : nullptr, static_cast<int>(size), info);
    if (ok != (size > 0 && (data[0] & 0x1F) == 7)) std::abort();
    if (!ok && (info.width != 0 || info.height != 0 || info.frameRate != 0)) std::abort();
    if (info.frameRate < 0) std::abort();
    return 0;
}
