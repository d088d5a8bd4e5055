#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "media/RTPmeta.h"

namespace media {

// Cuts an arbitrary byte stream into stream packets and joins sub-packets into whole frames
// per channel. It never reports an error: junk and corrupt headers are skipped and the
// extractor resynchronises on the next frame header.
class RTP1078Exp {
public:
    using FrameConsumer = std::function<void(const RTPmeta& header, std::string_view body)>;
    using PacketConsumer = std::function<void(const RTP_data& packet)>;

    static constexpr size_t kMaxBody = 950;
    // Largest packet: video header and the largest body.
    static constexpr size_t kMaxPacket = 34 + kMaxBody;
    // A frame under assembly that grows beyond this is abandoned (a stream of middle
    // sub-packets without end must not eat the memory).
    static constexpr size_t kMaxFrameBytes = 8u << 20;
    // Channels assembled at once; beyond it the least recently fed partial frame is dropped.
    static constexpr size_t kMaxAssemblies = 1024;

    // Each optional; called synchronously from inside Feed.
    FrameConsumer OnFrame;
    PacketConsumer OnPacket;

    void Feed(std::string_view bytes);
    void Reset();

    static std::string BuildPackets(const RTPmeta& header, std::string_view data, uint16_t& seq);
    static std::string BuildControlPacket(const SIMCH& key, std::string_view data, uint16_t& seq);

    // Bytes kept for the next Feed (at most one incomplete packet).
    size_t pendingBytes() const { return buf.size(); }
    // Channels with a frame under assembly (including empty leftovers).
    size_t pendingFrames() const { return assembly.size(); }

private:
    enum class Parse { Rejected, Incomplete, Accepted };
    struct Assembly {
        RTP_data frame;
        uint64_t lastTouch = 0;
    };

    // Extracts every complete packet of p[0, n); returns the offset of the first byte to keep.
    size_t extract(const char* p, size_t n);
    Parse parseOne(const char* p, size_t n, size_t& bodyOffset);
    void accept(const char* packet, size_t bodyOffset);
    void assemble(const RTPmeta& header, std::string_view body);
    Assembly& entryFor(const SIMCH& key);
    void finishEntry(std::map<SIMCH, Assembly>::iterator it);

    std::string buf;
    std::map<SIMCH, Assembly> assembly;
    uint64_t touches = 0;
    // Capacity recycled between frames so steady assembly does not allocate.
    std::string spare;
    // Scratch records reused per packet: the 20-digit SIM would otherwise allocate each time.
    RTPmeta parsed;
    RTP_data packet;
    // Bumped by Reset, so that a consumer resetting from inside Feed stops the extraction.
    uint64_t generation = 0;
};

} // namespace media
