#pragma once

#include <QDateTime>
#include <cstdint>
#include <string>
#include <vector>

#include "Fleet.h"

namespace sim {

struct SimRecording {
    uint8_t channel;
    QDateTime start, end;
    uint8_t type = 0;       // audio and video
    uint8_t streamType = 1; // main stream
    uint8_t memoryType = 1; // main memory
    int32_t fileSize = 0;
};

// The recordings kept on the simulated terminals: files of 5 to 30 minutes while a vehicle is
// on the road, gaps where it stood still, nothing at night. The same seed, terminal, channel
// and day always give the same files.
class Recordings {
public:
    static constexpr int kMaxDays = 7; // longest period one query covers

    explicit Recordings(uint32_t seed) : seed(seed) {}

    // Every file of the channel (0 = every channel) that overlaps [from, to].
    std::vector<SimRecording> find(const SimTerminal& terminal, uint8_t channel,
                                   const QDateTime& from, const QDateTime& to) const;
    std::vector<SimRecording> day(const SimTerminal& terminal, uint8_t channel,
                                  const QDate& date) const;

private:
    uint32_t seed;
};

} // namespace sim
