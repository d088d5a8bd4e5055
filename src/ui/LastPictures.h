#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/SIMCH.h"

namespace ui {

// The pictures open at exit, so that a video wall restarts unattended into the same cells:
// kept as JSON text (GBK) in the settings value "上次画面".
struct LastPictures {
    struct Entry {
        media::SIMCH key;
        std::string vehicleName; // GBK
        uint8_t cell = 0;        // 1-20
    };
    uint8_t mode = 4;
    uint8_t firstCell = 1;
    std::vector<Entry> entries;

    std::string write() const;
    // Replaces everything only when the text holds a whole, sane set (modes 1-6, cells 1-20
    // each used once, SIMs of digits, at most 20 entries); else false and nothing changes.
    bool read(std::string_view text);
};

} // namespace ui
