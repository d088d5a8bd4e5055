#pragma once

#include <memory>
#include <string>

#include "media/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace sim {

// libx264 through libavcodec: 25 pictures a second, a key frame with its parameter sets every
// second, no B-frames and no delay, as a terminal's camera sends them.
class H264Encoder {
public:
    struct Picture {
        std::string bytes; // an access unit with 4-byte start codes
        bool key = false;
    };

    bool open(int width, int height, int fps);
    // Encodes one picture given as planes; false when the encoder failed.
    bool encode(const uint8_t* y, const uint8_t* u, const uint8_t* v, Picture& out);
    int width() const { return ctx ? ctx->width : 0; }
    int height() const { return ctx ? ctx->height : 0; }

private:
    media::AvCodecContextPtr ctx;
    media::AvFramePtr frame;
    media::AvPacketPtr packet;
    int64_t pts = 0;
};

// Rewrites every 3-byte start code (00 00 01) as the 4-byte form terminals use.
std::string withLongStartCodes(const uint8_t* data, size_t size);

} // namespace sim
