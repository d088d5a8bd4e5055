// Arbitrary bytes as a JPEG file read back (the alarm report shows snapshots the operator
// picks): never out of range, never a picture beyond the bounds, and a picture that decodes
// is whole.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "media/JpegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    media::JpegImage image;
    const bool ok =
        media::JpegFile::decode(std::string_view(reinterpret_cast<const char*>(data), size), image);
    if (!ok && (!image.pixels.empty() || image.width != 0)) std::abort();
    if (ok && (image.width <= 0 || image.height <= 0 || image.width > media::JpegFile::kMaxSide ||
               image.height > media::JpegFile::kMaxSide ||
               image.pixels.size() != static_cast<size_t>(image.width) * image.height))
        std::abort();
    return 0;
}
