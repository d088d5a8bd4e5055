#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/RTP1078Exp.h"

namespace tavrina_test {

// A stream packet laid out by hand, independent of the builder under test.
struct RawPacket {
    uint8_t dataType = media::kVideoI;
    uint8_t subPacket = media::kAtomic;
    std::string body;
    uint8_t PT = media::kPtH264;
    uint8_t M = 1;
    uint16_t seq = 0;
    std::string simBcd = std::string("\x01\x39\x12\x34\x56\x78\x90\x12\x34\x56", 10);
    uint8_t channel = 1;
    uint32_t timestamp = 0;
    uint16_t lastIInterval = 0;
    uint16_t lastFrameInterval = 0;
    uint8_t fixed = 0x81;
    int lengthField = -1; // -1: the body's length

    std::string bytes() const {
        std::string out = "01cd";
        auto put8 = [&](unsigned v) { out.push_back(static_cast<char>(v & 0xFF)); };
        auto put16 = [&](unsigned v) { put8(v >> 8), put8(v); };
        put8(fixed);
        put8((M << 7) | PT);
        put16(seq);
        out += simBcd;
        put8(channel);
        put8((dataType << 4) | subPacket);
        if (dataType != media::kTransparent) {
            out.append("\xAA\xBB\xCC\xDD", 4); // the reader skips the high word
            put16(timestamp >> 16), put16(timestamp);
        }
        if (dataType != media::kAudio && dataType != media::kTransparent)
            put16(lastIInterval), put16(lastFrameInterval);
        put16(lengthField >= 0 ? static_cast<unsigned>(lengthField) : body.size());
        return out + body;
    }
};

// Records what an extractor hands to its consumers.
struct Recorder {
    std::vector<media::RTP_data> frames;
    std::vector<media::RTP_data> packets;

    void attach(media::RTP1078Exp& exp, bool withFrames = true, bool withPackets = true) {
        if (withFrames)
            exp.OnFrame = [this](const media::RTPmeta& h, std::string_view body) {
                frames.push_back({h, std::string(body)});
            };
        if (withPackets) exp.OnPacket = [this](const media::RTP_data& p) { packets.push_back(p); };
    }
};

inline bool sameRecord(const media::RTP_data& a, const media::RTP_data& b) {
    return a.meta == b.meta && a.data == b.data;
}

} // namespace tavrina_test
