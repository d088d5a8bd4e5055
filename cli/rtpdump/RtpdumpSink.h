#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/RTPmeta.h"

namespace rtpdump {

// One thing tavrina-rtpdump does with a capture. Each option makes one sink; every sink sees
// every packet and every assembled frame in order.
class RtpdumpSink {
public:
    virtual ~RtpdumpSink() = default;
    virtual void onPacket(const media::RTP_data&) {}
    virtual void onFrame(const media::RTPmeta&, std::string_view) {}
    // After the last byte of the capture; false when the sink failed (it has said why).
    virtual bool finish() { return true; }
    // Appended to the summary line, each field as " name=value".
    virtual std::string summaryFields() const { return {}; }
};

struct RtpdumpOption {
    std::string name;    // "--h264"
    std::string argName; // "OUT", or empty for a flag
    std::string help;
    // Returns no sink after printing why it could not start (the tool then exits 1).
    std::function<std::unique_ptr<RtpdumpSink>(const std::string& arg)> make;
};

// Each sink's source registers its option with a static initialiser.
bool registerOption(RtpdumpOption option);
const std::vector<RtpdumpOption>& options();

// Prints a message of the system (GBK) and a detail on standard error, as UTF-8.
void complain(const std::string& gbkMessage, const std::string& detail);

} // namespace rtpdump
