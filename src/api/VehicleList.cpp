#include "api/VehicleList.h"

#include <cmath>

#include "media/SIMCH.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"

namespace api {

namespace {

// A required member as text; false when absent.
bool textOf(const CJvalue& element, const char* name, std::string& out) {
    const CJvalue* v = element.find(CJkey(name));
    if (!v) return false;
    out = v->asText();
    return true;
}

bool numberOf(const CJvalue& element, const char* name, int64_t& out) {
    const CJvalue* v = element.find(CJkey(name));
    if (!v) return false;
    out = truncNumber(v->asNumber());
    return true;
}

bool readElement(const CJvalue& element, uint32_t order, CarTreeMap& vehicles) {
    CarTreeNode r;
    r.order = order;
    int64_t dept = 0;
    if (!textOf(element, "id", r.id) || !textOf(element, "pId", r.pId) ||
        !numberOf(element, "dept", dept))
        return false;
    r.kind = static_cast<uint8_t>(dept);
    switch (r.kind) {
    case kTerminal: { // a channel element
        int64_t channel = 0;
        std::string sim;
        if (!textOf(element, "name", r.title) || !numberOf(element, "sptd", channel) ||
            !textOf(element, "sjhm", sim))
            return false;
        r.name = media::channelLabel(static_cast<uint8_t>(channel));
        r.pId += media::padSim(sim);
        r.kind = kChannel;
        vehicles.emplace(r.id, r);
        return true;
    }
    case kVehicle: {
        int64_t isOnline = 0;
        if (!textOf(element, "name", r.name) || !numberOf(element, "isOnline", isOnline))
            return false;
        r.online = isOnline == 1;
        vehicles.emplace(r.id, r);
        std::string sims;
        if (!textOf(element, "sjhm", sims)) return false;
        const std::string vehicleId = r.id;
        // Every piece counts, the empty one after a trailing ";" included.
        size_t from = 0;
        for (;;) {
            const size_t end = sims.find(';', from);
            CarTreeNode t = r;
            t.name = media::padSim(std::string_view(sims).substr(from, end - from));
            t.pId = vehicleId;
            t.id = vehicleId + t.name;
            t.kind = kTerminal;
            vehicles.emplace(t.id, std::move(t));
            if (end == std::string::npos) break;
            from = end + 1;
        }
        return true;
    }
    case kCompany:
    case kFleet:
        if (!textOf(element, "name", r.name)) return false;
        vehicles.emplace(r.id, r);
        return true;
    default:
        return true; // read, not kept
    }
}

} // namespace

bool readVehicleList(const CJvalue& obj, CarTreeMap& vehicles) {
    vehicles.clear();
    const size_t count = obj.childCount();
    for (size_t i = 0; i < count; ++i) {
        const CJvalue* element = obj.find(CJkey(static_cast<int32_t>(i)));
        if (!element || !readElement(*element, static_cast<uint32_t>(i), vehicles)) return false;
    }
    return true;
}

std::string writeVehicleCache(std::string_view user, util::DateTime fetched,
                              const CarTreeMap& vehicles) {
    std::string out;
    util::BEPack p(out);
    p.str8(user).f64(fetched).u32(static_cast<uint32_t>(vehicles.size()));
    for (const auto& [id, r] : vehicles) {
        p.str8(r.id).str8(r.pId).u32(r.order).str8(r.name).str8(r.title).u8(r.kind);
        p.u8(r.online ? 1 : 0);
    }
    return out;
}

CacheRead readVehicleCache(std::string_view value, std::string_view user, util::DateTime now,
                           CarTreeMap& vehicles, util::DateTime& fetched) {
    util::BEUnpack in(value);
    std::string cachedUser;
    if (!in.str8(cachedUser)) return CacheRead::cutShort;
    if (cachedUser != user) return CacheRead::otherUser;
    double time = 0;
    if (!in.f64(time)) return CacheRead::cutShort;
    if (!std::isfinite(time) || now - time > kVehicleCacheDays) return CacheRead::tooOld;
    uint32_t count = 0;
    if (!in.u32(count)) return CacheRead::cutShort;
    CarTreeMap read;
    for (uint32_t i = 0; i < count; ++i) {
        CarTreeNode r;
        uint8_t online = 0;
        if (!in.str8(r.id) || !in.str8(r.pId) || !in.u32(r.order) || !in.str8(r.name) ||
            !in.str8(r.title) || !in.u8(r.kind) || !in.u8(online))
            return CacheRead::cutShort;
        r.online = online != 0;
        std::string id = r.id;
        read.emplace(std::move(id), std::move(r));
    }
    vehicles = std::move(read);
    fetched = time;
    return CacheRead::ok;
}

} // namespace api
