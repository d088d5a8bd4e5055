#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/RTP1078Exp.h"

namespace tavrina_test {

// The real terminal's capture (640 x 480 H.264 with G.711 A-law) as whole frames.
inline std::vector<media::RTP_data> captureFrames() {
    std::ifstream in(std::string(TAVRINA_TESTDATA) + "/jt1078/sim10-h264-g711a.rtp",
                     std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<media::RTP_data> frames;
    media::RTP1078Exp exp;
    exp.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        frames.push_back(media::RTP_data{h, std::string(body)});
    };
    exp.Feed(bytes);
    return frames;
}

} // namespace tavrina_test
