#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "media/AvHandles.h"

namespace media {

// PCM to raw AAC-LC frames for the FLV writer, on libavcodec's own AAC encoder. Buffers PCM up
// to whole encoder frames (1024 samples per channel), reports the playing time of what came
// out, and keeps a pre-encoded near-silent frame for filling audio gaps.
class FaacCode {
public:
    FaacCode();
    ~FaacCode();
    FaacCode(const FaacCode&) = delete;
    FaacCode& operator=(const FaacCode&) = delete;

    // Bits per sample 16 or 32 (signed integer PCM). adts: each frame with an ADTS header.
    bool Init(int sampleRate, int channels, int bitsPerSample, bool adts);
    // Empty pcm flushes: pending bytes are encoded even short of a frame and the encoder's
    // delay is drained. False only when not initialised.
    bool Encode(std::string_view pcm, std::string& aac, double& durationMs);
    // The 2-byte AudioSpecificConfig.
    bool DecoderConfig(std::string& config) const;
    bool Silence(std::string& frame, double& durationMs) const;
    void Reset();

    // Bits per second asked of the encoder for a format.
    static int bitRateFor(int sampleRate, int channels);

    int bytesPerSecond = 16000;
    int bitsPerSample = 16;
    size_t frameBytes = 0;
    std::string silenceFrame;
    double silenceMs = 0;
    std::string lastError; // GBK

private:
    // The encoder's first packet holds only its start-up padding (1024 samples of zeros): it is
    // dropped, so that the n-th frame out decodes to the n-th frame of PCM in.
    bool openEncoder();
    // One call of the encoder with whole or (at a flush) partial frames; nothing at all drains.
    bool encodeChunk(std::string_view pcm, bool drain, std::string& aac, double& durationMs);
    void appendPacket(std::string& aac) const;

    AvCodecContextPtr encoder;
    AvFramePtr frame;
    AvPacketPtr packet;
    std::string pending;
    int sampleRate = 8000;
    int channels = 1;
    bool adts = false;
    bool dropNext = false;
};

} // namespace media
