#pragma once

#include <cstdint>
#include <string>

#include "media/SIMCH.h"

namespace api {

// One recording kept on a terminal, as its recording list names it.
struct AVResource {
    media::SIMCH key;
    std::string start; // "yymmddhhnnss"
    std::string end;   // "yymmddhhnnss"
    uint8_t type = 0;
    uint8_t streamType = 0;
    uint8_t memoryType = 0;
    int32_t fileSize = 0;
};

} // namespace api
