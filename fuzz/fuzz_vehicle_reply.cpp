// Platform replies and the vehicle cache: the reply handlers of every operation and the cache
// reader never read out of range, and a cache that loads writes back to the same bytes.
// The first byte picks the operation (or the cache reader), the rest is the input.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "api/HttpPostDataCont.h"
#include "api/HttpTransport.h"
#include "api/VehicleList.h"
#include "util/Clock.h"

namespace {

class NoTransport : public api::HttpTransport {
public:
    api::HttpResult post(const std::string&, const std::string&,
                         const std::atomic<bool>&) override {
        return {};
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const util::FakeClock clock(0, 0.0); // a cache of time 0 to 2 is recent
    static const auto transport = std::make_shared<NoTransport>();
    api::HttpPostDataCont client(transport, clock);
    const uint8_t pick = data[0] % 12;
    if (pick == 11) {
        if (client.loadVehicleCache(input)) {
            const std::string back =
                api::writeVehicleCache(client.userName, client.vehicleDataTime, client.vehicles);
            api::CarTreeMap again;
            util::DateTime fetched = 0;
            if (api::readVehicleCache(back, client.userName, 0.0, again, fetched) !=
                    api::CacheRead::ok ||
                again.size() != client.vehicles.size())
                std::abort();
        }
        return 0;
    }
    // opid 1 first, so the state and command replies find records to act on.
    client.completeRequest({}, api::HttpPostDataCont::kVehicleTree, std::string(input), true, {});
    client.completeRequest({"00000000000000000001", 1}, pick, std::string(input), true, {});
    return 0;
}
