#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "api/CJvalue.h"
#include "api/CarTreeNode.h"
#include "util/DateTime.h"

namespace api {

// Records from the "obj" array of the vehicle list reply, in `vehicles` (emptied first).
// False when an element or a required member is missing; what was read until then stays.
bool readVehicleList(const CJvalue& obj, CarTreeMap& vehicles);

// The vehicle cache value kept in the settings store.
std::string writeVehicleCache(std::string_view user, util::DateTime fetched,
                              const CarTreeMap& vehicles);

enum class CacheRead { ok, otherUser, tooOld, cutShort };

// Reads a cache value fetched by `user` no more than two days before `now`. `vehicles` and
// `fetched` are replaced only when the whole value is accepted.
CacheRead readVehicleCache(std::string_view value, std::string_view user, util::DateTime now,
                           CarTreeMap& vehicles, util::DateTime& fetched);

// Whole days beyond which a cached list is fetched again.
inline constexpr double kVehicleCacheDays = 2.0;

} // namespace api
