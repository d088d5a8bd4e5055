// A terminal's pushed recording list: any message text parses without reading out of range or
// converting a number unsafely, and what it gives is ordered by channel, then start, all for
// the listened terminal.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/WS_AVPBList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const std::string sim = "00000000013912345678";
    net::WS_AVPBList::Recordings list;
    const bool parsed = net::WS_AVPBList::ReadList(text, sim, list);
    if (!parsed && !list.empty()) std::abort();
    const api::AVResource* previous = nullptr;
    for (const api::AVResource& r : list) {
        if (r.key.sim != sim) std::abort();
        if (previous && (r.key.channel < previous->key.channel ||
                         (r.key.channel == previous->key.channel && r.start < previous->start)))
            std::abort();
        previous = &r;
    }
    return 0;
}
