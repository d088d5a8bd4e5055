#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "media/RTPmeta.h"

namespace media {

// One channel's queue of whole frames. Terminal timestamps are mapped onto a smooth local
// timeline, and frames are released when they fall due on the owner's millisecond clock.
class RTPBuf {
public:
    // Bounds of the queue: a consumer that stops taking frames, or a channel that floods,
    // costs at most this much; the oldest frames go first.
    static constexpr size_t kMaxFrames = 4096;
    static constexpr size_t kMaxBytes = 32u << 20;
    // A channel that has carried this much audio since its last video frame is played on
    // the audio timeline (an audio-only channel would otherwise never start).
    static constexpr uint32_t kAudioOnlyAfterMs = 3000;
    static constexpr size_t kStateSize = 25;

    void Push(const RTPmeta& header, std::string_view bytes);
    bool Pop(uint32_t now, RTPmeta& header, std::string& bytes);
    // The mapping of Push without queueing: returns the header with its local timestamp.
    RTPmeta MapTimestamp(const RTPmeta& header);
    void Clear();
    void Reset();
    std::string SaveState() const;
    bool LoadState(std::string_view state);

    size_t frameCount() const { return frames.size(); }
    // Frames given up at the limits since construction (not part of the saved state).
    uint64_t droppedFrames() const { return dropped; }
    size_t byteCount() const { return bytesQueued; }
    bool audioOnly() const { return audioOut - audioAtLastVideo >= kAudioOnlyAfterMs; }

    // Read by the player and the view; saved and loaded with the state.
    uint32_t videoLastIn = 0;
    uint32_t videoOut = 0;
    uint32_t audioLastIn = 0;
    uint32_t audioOut = 0;
    bool underrun = false;
    uint32_t clockBase = 0;
    uint32_t lastVideoOut = 0;

private:
    void dropOldest();
    void noteReleased(const RTPmeta& header);

    std::deque<RTP_data> frames;
    size_t bytesQueued = 0;
    uint64_t dropped = 0;
    // Not part of the saved state: only a queueing buffer releases audio by itself.
    uint32_t lastAudioOut = 0;
    uint32_t audioAtLastVideo = 0;
};

} // namespace media
