#pragma once

#include <cstdint>
#include <memory>

#include "media/AvHandles.h"

namespace media {

// H.264 decoder of one channel player on libavcodec: fed NAL units one at a time (each with
// its 4-byte start code), it outputs a picture as soon as the unit that completes it has been
// decoded, without frame delay.
class Hi_H264DeCode {
public:
    // Results of Decode.
    static constexpr int kPicture = 0;
    static constexpr int kNoPicture = -1; // unit taken, no picture completed (yet)
    static constexpr int kRefused = -2;   // corrupt or unsupported data, nothing output
    static constexpr int kRecreate = -3;  // the decoder is unusable: create it anew

    // Largest picture: 120 x 120 macroblocks.
    static constexpr int kMaxWidth = 1920;
    static constexpr int kMaxHeight = 1920;

    // The output picture record (valid until the next Decode, Create or Destroy).
    struct Output {
        const uint8_t* y = nullptr;
        const uint8_t* u = nullptr;
        const uint8_t* v = nullptr;
        int width = 0;
        int height = 0;
        int bottomCrop = 0;
        int yStride = 0;
        int uvStride = 0;
        uint64_t pts = 0;
    };

    Hi_H264DeCode();
    ~Hi_H264DeCode();
    Hi_H264DeCode(const Hi_H264DeCode&) = delete;
    Hi_H264DeCode& operator=(const Hi_H264DeCode&) = delete;

    bool Create();
    void Destroy();
    int Decode(const uint8_t* data, int length);
    // False unless the last Decode gave a picture.
    bool Picture(int& width, int& height, uint32_t& timestamp) const;

    bool created() const { return ctx != nullptr; }
    const Output& output() const { return out; }

    int lastResult = -1;
    uint32_t decodedCount = 0;

private:
    int takePicture();

    AvCodecContextPtr ctx;
    AvFramePtr frame;
    AvPacketPtr packet;
    Output out;
};

} // namespace media
