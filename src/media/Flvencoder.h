#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/FaacCode.h"
#include "media/MediaFile.h"

namespace media {

// Records one channel to an FLV file: H.264 units as they arrive, PCM encoded to AAC. Every
// tag is flushed as written, so the file plays while it grows; Close rewrites the metadata
// with the final figures. The whole state can be saved and restored so that a clip download
// appends to the same file after a restart.
class FLVEncoder {
public:
    static constexpr uint32_t kNoTimestamp = 0xFFFFFFFF;
    static constexpr uint32_t kMinDurationMs = 300;

    FLVEncoder();
    ~FLVEncoder();
    FLVEncoder(const FLVEncoder&) = delete;
    FLVEncoder& operator=(const FLVEncoder&) = delete;

    bool Open(const std::string& file, int frameRate, int sampleRate, int channels,
              int bitsPerSample, bool withVideo);
    // An access unit in byte-stream form (4-byte start codes) with its timestamp in ms; the
    // bytes may be reused by the writer.
    bool AddVideo(std::string& frame, uint32_t timestamp);
    bool AddAudio(std::string_view pcm);
    void Close();
    void SaveState(std::string& out);
    bool LoadState(std::string_view state);

    bool isOpen() const { return file != nullptr; }

    std::string fileName; // GBK
    bool started = false;
    bool headerReady = false;
    bool hasVideo = false;
    std::string header;
    std::string spareHeader;
    uint32_t durationMs = 0;
    uint32_t width = 480;
    uint32_t height = 320;
    uint32_t videoDataRate = 320;
    uint32_t frameRate = 25;
    uint32_t sampleRate = 8000;
    uint32_t sampleSize = 16;
    uint32_t channels = 1;
    uint32_t fileSize = 0;
    std::string sps;
    std::string pps;
    uint32_t lastVideoTimestamp = kNoTimestamp;
    uint32_t videoBytes = 0;
    double videoTime = 0;
    double audioTime = 0;
    std::string lastError; // GBK

    // How files are opened; tests put a failing disk here.
    MediaFileOpener openFile = openMediaFile;

private:
    void reset();
    bool initEncoder();
    bool openTarget(bool truncate);
    bool buildHeader();
    std::string firstPart() const;
    bool writeTag(uint8_t type, uint32_t timestamp, std::string_view data);
    bool addUnit(std::string_view unit, uint32_t timestamp);
    bool writeUnit(std::string_view unit, bool key, uint32_t timestamp);
    bool writeAudio(std::string_view aac, double durationMs);
    bool fillAudioGap();
    void failWrite();
    // Rewrites the metadata (when long enough or when kept anyway) and closes the file.
    void finish(bool keepShort);

    FaacCode aac;
    std::unique_ptr<MediaFile> file;
    // PCM bytes the encoder holds short of a whole frame: audio is fed so that every call
    // completes at most one AAC frame, and each frame becomes a tag of its own.
    size_t pendingPcm = 0;
};

} // namespace media
