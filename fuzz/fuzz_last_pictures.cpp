// The last pictures kept in the settings: any text reads without reading out of range, and
// what reads writes back to a text that reads the same.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/LastPictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ui::LastPictures p;
    if (!p.read(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
    if (p.entries.size() > 20 || p.mode < 1 || p.mode > 6) std::abort();
    ui::LastPictures again;
    if (!again.read(p.write()) || again.write() != p.write()) std::abort();
    return 0;
}
