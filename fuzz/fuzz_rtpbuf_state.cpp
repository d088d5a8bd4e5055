// Arbitrary saved states: loading never reads out of range, a loaded state saves back to the
// bytes it came from (up to the flag byte's normal form), and the buffer stays usable.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/RTPBuf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string state(reinterpret_cast<const char*>(data), size);
    media::RTPBuf buf;
    const bool ok = buf.LoadState(state);
    if (ok != (size >= media::RTPBuf::kStateSize)) std::abort();
    if (!ok) return 0;
    std::string expect = state.substr(0, media::RTPBuf::kStateSize);
    expect[16] = expect[16] != 0 ? 1 : 0;
    if (buf.SaveState() != expect) std::abort();

    media::RTPmeta h;
    media::RTPmeta out;
    std::string bytes;
    for (uint32_t i = 0; i < 64; ++i) {
        h.dataType = static_cast<uint8_t>(i % 5);
        h.timestamp = buf.videoLastIn + i * 40;
        buf.Push(h, "x");
        buf.Pop(buf.clockBase + i * 40, out, bytes);
    }
    return 0;
}
