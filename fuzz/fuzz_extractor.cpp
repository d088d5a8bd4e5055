// Arbitrary bytes in arbitrary chunks through the extractor with assembly on. Every packet
// handed out must re-parse to its own header, and the kept bytes must stay bounded.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "media/RTP1078Exp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using media::RTP1078Exp;
    if (size < 1) return 0;
    // The first byte picks the chunk size, so splits at every position get explored.
    const size_t chunk = 1 + data[0] * 8;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);

    RTP1078Exp exp;
    size_t frameBytes = 0;
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        if (h.length != body.size()) std::abort();
        frameBytes += body.size();
    };
    exp.OnPacket = [&](const media::RTP_data& p) {
        RTP1078Exp again;
        int seen = 0;
        again.OnPacket = [&](const media::RTP_data& q) {
            ++seen;
            if (!(q.meta == p.meta) || q.data != p.data) std::abort();
        };
        // Four bytes more: the last four bytes of a buffer are never matched in one pass.
        again.Feed(p.data + "pad!");
        if (seen != 1) std::abort();
    };
    while (!rest.empty()) {
        const size_t n = std::min(chunk, rest.size());
        exp.Feed(rest.substr(0, n));
        rest.remove_prefix(n);
        if (exp.pendingBytes() > RTP1078Exp::kMaxPacket) std::abort();
        if (exp.pendingFrames() > RTP1078Exp::kMaxAssemblies) std::abort();
    }
    return 0;
}
