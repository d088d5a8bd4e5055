#pragma once

#include <cstdint>
#include <string>

#include "media/SIMCH.h"

namespace media {

// Data types carried in a stream packet.
enum : uint8_t {
    kVideoI = 0,
    kVideoP = 1,
    kVideoB = 2,
    kAudio = 3,
    kTransparent = 4,
};

// Sub-packet marks.
enum : uint8_t {
    kAtomic = 0,
    kFirst = 1,
    kLast = 2,
    kMiddle = 3,
};

// Payload types the client acts on.
enum : uint8_t {
    kPtG711A = 6,
    kPtAdpcm = 26,
    kPtH264 = 98,
    kPtControl = 127,
};

// The header fields of one stream packet, or of a whole frame after assembly.
struct RTPmeta {
    uint8_t M = 0;
    uint8_t PT = 0;
    uint16_t seq = 0;
    SIMCH simch;
    uint8_t dataType = 0;
    uint8_t subPacket = 0;
    uint32_t timestamp = 0;
    uint16_t lastIInterval = 0;
    uint16_t lastFrameInterval = 0;
    // Body length; for an assembled frame its total length. Wider than the wire field so that
    // frames above 64 KiB (every high-resolution key frame) report their true size.
    uint32_t length = 0;

    friend bool operator==(const RTPmeta&, const RTPmeta&) = default;
};

// A header with its bytes: a whole frame, or a raw packet from its frame header through its body.
struct RTP_data {
    RTPmeta meta;
    std::string data;
};

} // namespace media
