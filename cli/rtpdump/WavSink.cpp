// --wav OUT: every audio frame of payload type 6 (G.711 A-law) or 26 (IMA ADPCM), in order,
// decoded as the player decodes it, as a 16-bit mono 8000 Hz WAV file.

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "media/AudioCodec.h"
#include "rtpdump/RtpdumpSink.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace rtpdump {
namespace {

constexpr uint32_t kRate = 8000;
// The RIFF sizes are 32-bit; stop short of them rather than write a broken header.
constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string le16(uint16_t v) {
    return le32(v).substr(0, 2);
}

std::string wavHeader(uint32_t dataBytes) {
    return "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(kRate) +
           le32(kRate * 2) + le16(2) + le16(16) + "data" + le32(dataBytes);
}

class WavSink : public RtpdumpSink {
public:
    WavSink(std::FILE* file, std::string path) : out(file), path(std::move(path)) {
        ok = std::fwrite(wavHeader(0).data(), 1, 44, out.get()) == 44;
    }

    void onFrame(const media::RTPmeta& h, std::string_view body) override {
        if (h.dataType != media::kAudio) return;
        std::string pcm;
        if (h.PT == media::kPtG711A)
            pcm = media::DecodeALaw(body);
        else if (h.PT == media::kPtAdpcm)
            pcm = media::DecodeAdpcm(body, states[h.simch]);
        else
            return;
        ++frames;
        if (pcm.empty() || dataBytes + pcm.size() > kMaxData) return;
        ok = ok && std::fwrite(pcm.data(), 1, pcm.size(), out.get()) == pcm.size();
        dataBytes += pcm.size();
    }

    bool finish() override {
        const std::string header = wavHeader(static_cast<uint32_t>(dataBytes));
        ok = ok && std::fseek(out.get(), 0, SEEK_SET) == 0 &&
             std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();
        ok = std::fclose(out.release()) == 0 && ok;
        if (!ok) complain("创建文件失败。"_gbk, path);
        return ok;
    }

    std::string summaryFields() const override {
        return "wav_frames=" + std::to_string(frames) +
               " wav_samples=" + std::to_string(dataBytes / 2);
    }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out;
    std::string path;
    // One ADPCM state per terminal channel, as each channel's player keeps its own.
    std::map<media::SIMCH, media::AdpcmState> states;
    uint64_t dataBytes = 0;
    unsigned long frames = 0;
    bool ok = true;
};

const bool registered = registerOption(
    {"--wav", "OUT", "write the G.711 A-law and IMA ADPCM audio to OUT as 16-bit 8 kHz WAV",
     [](const std::string& path) -> std::unique_ptr<RtpdumpSink> {
         std::FILE* f = std::fopen(path.c_str(), "wb");
         if (f == nullptr) {
             complain("创建文件失败。"_gbk, path);
             return nullptr;
         }
         return std::make_unique<WavSink>(f, path);
     }});

} // namespace
} // namespace rtpdump
