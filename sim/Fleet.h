#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct SimVehicle {
    std::string sim; // 20 digits, leading zeros included
    QString plate;   // shown in the pictures
    std::vector<uint8_t> channels;
    uint8_t audioType; // payload type: G.711 A-law or IMA ADPCM
};

// The generated fleet: the same seed always gives the same vehicles.
class Fleet {
public:
    Fleet(int vehicles, uint32_t seed);

    const std::vector<SimVehicle>& vehicles() const { return all; }
    const SimVehicle* find(const std::string& sim) const;

private:
    std::vector<SimVehicle> all;
};

} // namespace sim
