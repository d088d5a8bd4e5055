// --flv OUT: records the capture's first channel to an FLV file as a player records it: video
// frames as they come, audio decoded to PCM and encoded to AAC, timestamps from the frame
// buffer's mapping.

#include <algorithm>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/log.h>
}
#include <string>

#include "media/AudioCodec.h"
#include "media/Flvencoder.h"
#include "media/RTPBuf.h"
#include "rtpdump/RtpdumpSink.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace rtpdump {
namespace {

class FlvSink : public RtpdumpSink {
public:
    explicit FlvSink(std::string path) : path(std::move(path)) {}

    bool open() {
        if (recorder.Open(path, 25, 8000, 1, 16, true)) return true;
        complain(recorder.lastError, util::gbkToUtf8(path));
        return false;
    }

    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType == media::kTransparent) return;
        if (!channel) channel = h.simch;
        if (h.simch != *channel) return;
        const media::RTPmeta local = buffer.MapTimestamp(h);
        if (h.dataType == media::kAudio) {
            std::string pcm;
            if (h.PT == media::kPtAdpcm)
                pcm = media::DecodeAdpcm(body, adpcm);
            else if (h.PT == media::kPtG711A)
                pcm = media::DecodeALaw(body);
            if (!pcm.empty()) ok = recorder.AddAudio(pcm) && ok;
            audioFrames += !pcm.empty();
        } else if (h.PT == media::kPtH264) {
            std::string frame(body);
            ok = recorder.AddVideo(frame, local.timestamp) && ok;
            ++videoFrames;
        }
    }

    bool finish() override {
        const bool written = recorder.started;
        const double ms = std::max(recorder.videoTime, recorder.audioTime);
        recorder.Close();
        summary = " flv_video_frames=" + std::to_string(videoFrames) +
                  " flv_audio_frames=" + std::to_string(audioFrames) +
                  " flv_ms=" + std::to_string(static_cast<long>(ms));
        if (!ok) complain(recorder.lastError, util::gbkToUtf8(path));
        if (!written) complain("无输出目标文件或输出事件"_gbk, util::gbkToUtf8(path));
        return ok && written;
    }

    std::string summaryFields() const override { return summary.substr(1); }

private:
    std::string path;
    media::FLVEncoder recorder;
    media::RTPBuf buffer;
    media::AdpcmState adpcm;
    std::optional<media::SIMCH> channel;
    unsigned long videoFrames = 0, audioFrames = 0;
    bool ok = true;
    std::string summary = " ";
};

const bool registered = registerOption(
    {"--flv", "OUT", "record the first channel to OUT as FLV (H.264 and AAC), as a player does",
     [](const std::string& path) -> std::unique_ptr<RtpdumpSink> {
         // The AAC encoder reports its statistics when it closes; the tool prints errors only.
         av_log_set_level(AV_LOG_ERROR);
         auto sink = std::make_unique<FlvSink>(util::utf8ToGbk(path));
         if (!sink->open()) return nullptr;
         return sink;
     }});

} // namespace
} // namespace rtpdump
