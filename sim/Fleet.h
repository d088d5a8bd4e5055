#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim {

struct SimTerminal {
    std::string sim; // 20 digits, leading zeros included
    std::vector<uint8_t> channels;
    std::vector<QString> titles; // one per channel; some name the device's make
    uint8_t audioType;           // payload type: G.711 A-law or IMA ADPCM
};

struct SimVehicle {
    QString id;
    QString orgId;
    QString plate;
    std::vector<SimTerminal> terminals;
    // Commands to this vehicle's terminals fail as if they were not connected.
    bool unreachable = false;
    int onlinePhase = 0;
};

struct SimOrganisation {
    QString id;
    QString parentId; // empty for the first level
    QString name;
    int level; // 1 or 2
};

// The generated fleet: organisations on two levels, vehicles with one or two terminals,
// channels with titles. The same seed always gives the same fleet.
class Fleet {
public:
    Fleet(int vehicles, uint32_t seed, int unreachableEvery = 0);

    const std::vector<SimOrganisation>& organisations() const { return orgs; }
    const std::vector<SimVehicle>& vehicles() const { return all; }
    const SimTerminal* findTerminal(const std::string& sim) const;
    const SimVehicle* vehicleOf(const std::string& sim) const;
    // Online states change every minute; the first vehicle is always online.
    bool online(const SimVehicle& v, qint64 epochSeconds) const;

private:
    std::vector<SimOrganisation> orgs;
    std::vector<SimVehicle> all;
    std::unordered_map<std::string, std::pair<size_t, size_t>> bySim;
};

} // namespace sim
