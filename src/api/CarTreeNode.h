#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "util/DateTime.h"

namespace api {

struct TRNode;

// Record kinds of the platform's vehicle list.
enum CarKind : uint8_t {
    kCompany = 1, // organisation, first level
    kFleet = 2,   // organisation, second level
    kVehicle = 3,
    kTerminal = 4,
    kChannel = 5,
};

// One record of the platform's flat vehicle list (organisation, vehicle, terminal, channel).
struct CarTreeNode {
    std::string id;
    std::string pId;
    uint32_t total = 0;       // organisations: vehicles below
    uint32_t onlineCount = 0; // organisations: online vehicles below
    uint32_t order = 0;       // position in the platform's list
    std::string name;
    std::string title;
    uint8_t kind = 0;
    bool online = false;
    bool gpsAcc = false;
    util::DateTime gpsAccTime = 0;
    util::DateTime onlineTime = 0;
    TRNode* treeNode = nullptr; // none until the tree is built
};

// All records by id, in byte order of the id. Records keep their place while they exist.
using CarTreeMap = std::map<std::string, CarTreeNode>;

} // namespace api
