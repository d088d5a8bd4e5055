#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "media/RTPmeta.h"

namespace sim {

// A capture file's frames, for terminals that stream a real terminal's content instead of
// drawn pictures. Read once and shared by every terminal that replays it.
class ReplayCapture {
public:
    struct Frame {
        media::RTPmeta meta;
        std::string body;
        int64_t dueMs = 0; // from the start of one pass
    };

    // Keeps the frames of the channel of the first video key frame, from that key frame on, so
    // every pass starts with a picture a decoder can begin with. False with `error` set when the
    // file cannot be read or holds no video key frame.
    bool load(const QString& path, QString& error);

    const std::vector<Frame>& frames() const { return list; }
    // The length of one pass: the last frame's time plus one frame interval.
    int64_t passMs() const { return pass; }

private:
    std::vector<Frame> list;
    int64_t pass = 0;
};

} // namespace sim
