#pragma once

#include <functional>
#include <set>
#include <string>

#include "api/AVResource.h"
#include "api/RequestLog.h"
#include "net/TwebSocketClint.h"
#include "util/Clock.h"

namespace settings {
class ConfSet;
}

namespace net {

// Orders recordings by terminal channel, then by start time as text (equal ones may repeat).
struct AVResourceOrder {
    bool operator()(const api::AVResource& a, const api::AVResource& b) const {
        if (a.key != b.key) return a.key < b.key;
        return a.start < b.start;
    }
};

// The listener for a terminal's pushed recording list: a WebSocket connection whose path names
// the terminal, the parsed list, the wait and its time-out, and the search for the recording
// that covers a playback start.
class WS_AVPBList {
public:
    using Recordings = std::multiset<api::AVResource, AVResourceOrder>;
    static constexpr util::DateTime kTimeoutDays = 0.0007; // about 60.5 s

    WS_AVPBList(TwebSocketClint::SocketFactory makeSocket, const util::Clock& clock,
                const api::RequestLog& log);

    // Host, port and path for the platform kind, from the settings; false with the store's
    // message when either setting is missing.
    bool SelectAddress(settings::ConfSet& store, int projectType, std::string& message);

    void Listen();
    void Reset();
    void Poll();
    void ClearList();
    std::string StatusText() const;
    // Fills the request's end and types from the recording that covers its start.
    bool FindCovering(api::AVResource& request) const;
    // The recordings of a pushed list for the terminal `sim`, in `out` (emptied first); the
    // list ends at the first incomplete element. False when the text is not such a list.
    static bool ReadList(const std::string& text, const std::string& sim, Recordings& out);

    bool connected() const { return client.wsState() == TwsClientCont::kKeepAlive; }
    bool waiting() const { return queryStart >= 1.0; }
    const Recordings& recordings() const { return list; }
    void clearRecordings() { list.clear(); }

    std::string host;
    uint16_t port = 0;
    std::string path;
    std::string vehicleName;
    media::SIMCH key;
    std::function<void(const std::string& keyText, bool success)> OnListResult;

private:
    void onMessage(const std::string& text);
    void tell(const std::string& keyText, bool success);

    const util::Clock& clock;
    const api::RequestLog& log;
    TwebSocketClint client;
    Recordings list;
    util::DateTime queryStart = 0;
};

} // namespace net
