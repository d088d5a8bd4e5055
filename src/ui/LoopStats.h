#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/DateTime.h"

namespace ui {

// The main loop's health, once a second, as one JSON line: how long its ticks took in that
// second, the process's resident memory and each open picture's figures. Video-wall operators
// watch it; the benchmarks read it.
class LoopStats {
public:
    struct Picture {
        std::string key; // SIM:channel
        int cell = 0;
        uint32_t bytes = 0;      // in the last second
        uint32_t decoded = 0;    // pictures, in the last second
        uint32_t shown = 0;      // pictures, in the last second
        uint32_t bufferedMs = 0; // media waiting in the buffer
        uint64_t dropped = 0;    // frames dropped since the picture opened
        uint32_t startMs = 0;    // from the first frame to the first picture; 0 = none yet
    };

    void addTick(double ms);
    // The line for the ticks added since the last line (which it forgets), without a newline.
    std::string line(util::DateTime now, size_t residentBytes,
                     const std::vector<Picture>& pictures);

    // The nearest-rank percentile of `samples` (sorted here); 0 for none.
    static double percentile(std::vector<double>& samples, double fraction);

private:
    std::vector<double> ticks;
};

// The process's resident memory in bytes (0 where the system does not tell).
size_t ResidentBytes();

} // namespace ui
