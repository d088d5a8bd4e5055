// Arbitrary reply texts: parsing never reads out of range or recurses without bound, and
// whatever parses writes a text that parses to the same text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "api/CJvalue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    api::CJvalue v;
    if (!v.parse(text)) return 0;
    const std::string written = v.write();
    api::CJvalue again;
    if (!again.parse(written) || again.write() != written) std::abort();
    (void)v.asText();
    (void)v.asNumber();
    return 0;
}
