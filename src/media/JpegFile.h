#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace media {

// A decoded JPEG: 0x00RRGGBB pixels, row after row.
struct JpegImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// JPEG files of snapshots on libjpeg-turbo.
class JpegFile {
public:
    // Largest picture read back, each way; bounds what a hostile file can make us allocate.
    static constexpr int kMaxSide = 4096;
    static constexpr size_t kMaxFileBytes = 64u << 20;

    // rows: a table of row addresses of 0x00RRGGBB pixels.
    static bool encode(const uint32_t* const* rows, int width, int height, int quality,
                       std::string& jpeg);
    static bool save(const std::string& gbkPath, const uint32_t* const* rows, int width, int height,
                     int quality);
    static bool decode(std::string_view jpeg, JpegImage& image);
    static bool load(const std::string& gbkPath, JpegImage& image);
};

} // namespace media
