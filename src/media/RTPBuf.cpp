#include "media/RTPBuf.h"

#include "util/BEPack.h"
#include "util/BEUnpack.h"

namespace media {

namespace {

constexpr uint32_t kMaxStepMs = 200;
constexpr uint32_t kBackwardStepMs = 40;
constexpr uint32_t kMinAheadMs = 200;
constexpr uint32_t kRefillHoldMs = 1600;

// One timeline: never decreasing, forward jumps capped, backward steps counted as a frame.
void advance(uint32_t t, uint32_t& lastIn, uint32_t& out) {
    if (lastIn == 0) lastIn = t;
    if (t < lastIn)
        out += kBackwardStepMs;
    else if (t - lastIn <= kMaxStepMs)
        out += t - lastIn;
    else
        out += kMaxStepMs;
    lastIn = t;
}

} // namespace

RTPmeta RTPBuf::MapTimestamp(const RTPmeta& header) {
    RTPmeta mapped = header;
    if (header.dataType == kAudio) {
        advance(header.timestamp, audioLastIn, audioOut);
        mapped.timestamp = audioOut;
    } else {
        advance(header.timestamp, videoLastIn, videoOut);
        mapped.timestamp = videoOut;
        audioAtLastVideo = audioOut;
    }
    return mapped;
}

void RTPBuf::Push(const RTPmeta& header, std::string_view bytes) {
    if (header.dataType == kTransparent) return;
    frames.push_back(RTP_data{MapTimestamp(header), std::string(bytes)});
    bytesQueued += bytes.size();
    while (frames.size() > kMaxFrames || (bytesQueued > kMaxBytes && frames.size() > 1))
        dropOldest();
}

bool RTPBuf::Pop(uint32_t now, RTPmeta& header, std::string& bytes) {
    if (frames.empty()) return false;
    const bool audioTimeline = audioOnly();
    const uint32_t ahead = audioTimeline ? audioOut - lastAudioOut : videoOut - lastVideoOut;
    if (ahead < kMinAheadMs) {
        if (clockBase != 0 && !underrun) {
            underrun = true;
            clockBase += kRefillHoldMs;
        }
        return false;
    }
    if (now < clockBase) return false;
    if (clockBase == 0) clockBase = now;
    RTP_data& oldest = frames.front();
    if (oldest.meta.timestamp >= now - clockBase) return false;

    header = oldest.meta;
    bytes.swap(oldest.data);
    bytesQueued -= bytes.size();
    frames.pop_front();
    noteReleased(header);
    underrun = false;
    return true;
}

void RTPBuf::noteReleased(const RTPmeta& header) {
    if (header.dataType == kAudio)
        lastAudioOut = header.timestamp;
    else
        lastVideoOut = header.timestamp;
}

void RTPBuf::dropOldest() {
    // Accounted as released, so the measure of what lies ahead stays true.
    noteReleased(frames.front().meta);
    bytesQueued -= frames.front().data.size();
    frames.pop_front();
    ++dropped;
}

void RTPBuf::Clear() {
    frames.clear();
    bytesQueued = 0;
}

void RTPBuf::Reset() {
    Clear();
    videoLastIn = videoOut = audioLastIn = audioOut = 0;
    underrun = false;
    clockBase = lastVideoOut = 0;
    lastAudioOut = audioAtLastVideo = 0;
}

std::string RTPBuf::SaveState() const {
    util::BEPack pack;
    pack.u32(videoLastIn)
        .u32(videoOut)
        .u32(audioLastIn)
        .u32(audioOut)
        .u8(underrun ? 1 : 0)
        .u32(clockBase)
        .u32(lastVideoOut);
    return pack.take();
}

bool RTPBuf::LoadState(std::string_view state) {
    util::BEUnpack in(state);
    uint8_t flag = 0;
    if (!in.u32(videoLastIn) || !in.u32(videoOut) || !in.u32(audioLastIn) || !in.u32(audioOut) ||
        !in.u8(flag))
        return false;
    underrun = flag != 0;
    // Nothing restored is queued: the audio marks start level with the audio timeline.
    lastAudioOut = audioAtLastVideo = audioOut;
    return in.u32(clockBase) && in.u32(lastVideoOut);
}

} // namespace media
