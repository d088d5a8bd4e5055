#include "media/Flvencoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/Decodesps.h"
#include "util/BEPack.h"
#include "util/BEUnpack.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace media {

namespace {

constexpr uint8_t kTagAudio = 8;
constexpr uint8_t kTagVideo = 9;
constexpr uint8_t kTagScript = 18;
constexpr uint32_t kMaxTagData = 0xFFFFFF;
constexpr size_t kMaxParamSet = 1023;
constexpr double kAudioGapMs = 160;
constexpr double kMaxSilenceMs = 10000;

// Media times are kept as doubles; a tag carries them truncated to 32-bit milliseconds (the
// data rate goes the same way, and is as safe from a restored state's odd values).
uint32_t wholeMs(double ms) {
    if (!(ms > 0)) return 0;
    if (ms >= 4294967295.0) return 0xFFFFFFFF;
    return static_cast<uint32_t>(ms);
}

void putName(util::BEPack& p, std::string_view key) {
    p.u16(static_cast<uint16_t>(key.size())).raw(key);
}
void putNumber(util::BEPack& p, std::string_view key, double v) {
    putName(p, key);
    p.u8(0).f64(v);
}

std::string tag(uint8_t type, uint32_t timestamp, std::string_view data) {
    std::string out;
    out.reserve(data.size() + 15);
    util::BEPack p(out);
    const auto size = static_cast<uint32_t>(data.size());
    p.u8(type).u24(size).u24(timestamp & 0xFFFFFF).u8(timestamp >> 24).u24(0);
    p.raw(data).u32(size + 11);
    return out;
}

bool parseSps(std::string_view unit, SpsInfo& info) {
    if (unit.empty() || unit.size() > kMaxParamSet + 1) return false;
    uint8_t copy[1024];
    std::memcpy(copy, unit.data(), unit.size());
    return ParseSps(copy, static_cast<int>(unit.size()), info);
}

} // namespace

FLVEncoder::FLVEncoder() = default;
FLVEncoder::~FLVEncoder() {
    Close();
}

void FLVEncoder::reset() {
    file.reset();
    fileName.clear();
    started = headerReady = hasVideo = false;
    header.clear();
    spareHeader.clear();
    durationMs = 0;
    width = 480;
    height = 320;
    videoDataRate = 320;
    frameRate = 25;
    sampleRate = 8000;
    sampleSize = 16;
    channels = 1;
    fileSize = 0;
    sps.clear();
    pps.clear();
    lastVideoTimestamp = kNoTimestamp;
    videoBytes = 0;
    videoTime = audioTime = 0;
    aac.Reset();
    pendingPcm = 0;
}

bool FLVEncoder::initEncoder() {
    pendingPcm = 0;
    if (aac.Init(static_cast<int>(std::min<uint32_t>(sampleRate, 1u << 30)),
                 static_cast<int>(std::min<uint32_t>(channels, 64)),
                 static_cast<int>(std::min<uint32_t>(sampleSize, 64)), false))
        return true;
    lastError = aac.lastError;
    return false;
}

bool FLVEncoder::Open(const std::string& target, int rate, int audioRate, int audioChannels,
                      int bits, bool withVideo) {
    Close();
    if (target.empty()) {
        lastError = "无输出目标文件或输出事件"_gbk;
        return false;
    }
    fileName = target;
    frameRate = rate > 0 ? static_cast<uint32_t>(rate) : 25;
    sampleRate = static_cast<uint32_t>(std::max(audioRate, 0));
    channels = static_cast<uint32_t>(std::max(audioChannels, 0));
    sampleSize = static_cast<uint32_t>(std::max(bits, 0));
    hasVideo = withVideo;
    if (!initEncoder()) {
        fileName.clear();
        return false;
    }
    file = openFile(fileName, true);
    if (!file) {
        lastError = "创建文件失败"_gbk;
        return false;
    }
    return true;
}

std::string FLVEncoder::firstPart() const {
    std::string out;
    util::BEPack p(out);
    p.raw("FLV").u8(1).u8(hasVideo ? 0x05 : 0x04).u32(9).u32(0);
    std::string meta;
    util::BEPack m(meta);
    m.u8(2);
    putName(m, "onMetaData");
    m.u8(8).u32(11);
    putNumber(m, "duration", durationMs * 0.001);
    putNumber(m, "width", width);
    putNumber(m, "height", height);
    putNumber(m, "videodatarate", videoDataRate);
    putNumber(m, "framerate", frameRate);
    putNumber(m, "videocodecid", 7.0);
    putNumber(m, "audiosamplerate", sampleRate);
    putNumber(m, "audiosamplesize", sampleSize);
    putName(m, "stereo");
    m.u8(1).u8(channels > 1 ? 1 : 0);
    putNumber(m, "audiocodecid", 10.0);
    putNumber(m, "filesize", fileSize);
    m.u24(9);
    p.raw(tag(kTagScript, 0, meta));
    return out;
}

bool FLVEncoder::buildHeader() {
    std::string built = firstPart();
    if (hasVideo) {
        SpsInfo info;
        if (sps.size() <= 3 || pps.empty() || sps.size() + pps.size() >= 1025 ||
            !parseSps(sps, info)) {
            lastError = "获取AVC解码信息失败。"_gbk;
            return false;
        }
        width = static_cast<uint32_t>(std::max(info.width, 0));
        height = static_cast<uint32_t>(std::max(info.height, 0));
        if (info.frameRate > 0) frameRate = static_cast<uint32_t>(info.frameRate);
        std::string avc;
        util::BEPack a(avc);
        a.u8(0x17).u8(0).u24(0);
        a.u8(1).u8(sps[1]).u8(sps[2]).u8(sps[3]).u8(0xFF).u8(0xE1);
        a.str16(sps).u8(1).str16(pps);
        built += tag(kTagVideo, 0, avc);
    }
    std::string config;
    if (!aac.DecoderConfig(config)) {
        lastError = "获取AAC解码信息失败。"_gbk;
        return false;
    }
    built += tag(kTagAudio, 0, std::string("\xAF\x00", 2) + config);
    header = built;
    spareHeader = header;
    headerReady = true;
    return true;
}

void FLVEncoder::failWrite() {
    // Whatever part of the tag reached the disk is cut off, so the file ends at its last whole
    // tag and keeps its metadata.
    if (file) file->truncate(fileSize);
    finish(false);
}

bool FLVEncoder::writeTag(uint8_t type, uint32_t timestamp, std::string_view data) {
    if (!file) return false;
    if (data.size() > kMaxTagData) {
        lastError = "tag data size > 0xffffff";
        return false;
    }
    if (!headerReady && !buildHeader()) {
        if (!started) file.reset();
        return false;
    }
    if (!started) {
        if (!file->seek(0) || !file->write(header) || !file->flush()) {
            lastError = "写入文件失败"_gbk;
            fileSize = 0;
            failWrite();
            return false;
        }
        started = true;
        fileSize = static_cast<uint32_t>(header.size());
    }
    const std::string t = tag(type, timestamp, data);
    if (uint64_t{fileSize} + t.size() > 0xFFFFFFFFull || !file->write(t) || !file->flush()) {
        lastError = "写入文件失败"_gbk;
        failWrite();
        return false;
    }
    fileSize += static_cast<uint32_t>(t.size());
    return true;
}

bool FLVEncoder::writeUnit(std::string_view unit, bool key, uint32_t timestamp) {
    const auto n = static_cast<uint32_t>(unit.size());
    const double oldTime = videoTime;
    const uint32_t oldLast = lastVideoTimestamp, oldBytes = videoBytes;
    if (lastVideoTimestamp != kNoTimestamp) {
        if (timestamp > lastVideoTimestamp)
            videoTime += timestamp - lastVideoTimestamp;
        else
            videoTime += 1000.0 / frameRate;
    }
    lastVideoTimestamp = timestamp;
    videoBytes += n;
    std::string data;
    data.reserve(n + 9);
    util::BEPack p(data);
    p.u8(key ? 0x17 : 0x27).u8(1).u24(0).u32(n).raw(unit);
    if (!writeTag(kTagVideo, wholeMs(videoTime), data)) {
        // The clocks describe what is in the file.
        videoTime = oldTime;
        lastVideoTimestamp = oldLast;
        videoBytes = oldBytes;
        return false;
    }
    return fillAudioGap();
}

bool FLVEncoder::fillAudioGap() {
    if (videoTime - audioTime < kAudioGapMs) return true;
    std::string silence;
    double ms = 0;
    if (!aac.Silence(silence, ms) || ms < 1) return true;
    // Only a restored state can put the tracks this far apart; a gap in the audio track is
    // better than minutes of silence written at once.
    if (videoTime - audioTime > kMaxSilenceMs) audioTime = videoTime - kMaxSilenceMs;
    while (videoTime > audioTime)
        if (!writeAudio(silence, ms)) return false;
    return true;
}

bool FLVEncoder::writeAudio(std::string_view frame, double ms) {
    std::string data("\xAF\x01", 2);
    data.append(frame);
    if (!writeTag(kTagAudio, wholeMs(audioTime), data)) return false;
    audioTime += ms;
    return true;
}

bool FLVEncoder::addUnit(std::string_view unit, uint32_t timestamp) {
    const auto type = static_cast<uint8_t>(unit[0] & 0x1F);
    const int size = static_cast<int>(unit.size());
    if (type == 7) {
        SpsInfo info;
        if (size >= 4 && size <= static_cast<int>(kMaxParamSet) && parseSps(unit, info)) {
            if (info.frameRate > 0) frameRate = static_cast<uint32_t>(info.frameRate);
            if (static_cast<uint32_t>(info.width) != width ||
                static_cast<uint32_t>(info.height) != height) {
                width = static_cast<uint32_t>(std::max(info.width, 0));
                height = static_cast<uint32_t>(std::max(info.height, 0));
                headerReady = false;
            }
            sps.assign(unit);
        }
        return true;
    }
    if (type == 8) {
        if (size <= static_cast<int>(kMaxParamSet)) pps.assign(unit);
        return true;
    }
    const bool slice = (type >= 1 && type <= 5) || type == 12;
    if (sps.empty() || pps.empty() || !slice) return true;
    const bool idr = type == 5;
    if (lastVideoTimestamp == kNoTimestamp && !idr) return true;
    return writeUnit(unit, idr, timestamp);
}

bool FLVEncoder::AddVideo(std::string& frame, uint32_t timestamp) {
    if (frame.empty() || !hasVideo || !file) return true;
    if (frame.size() > 0x7FFFFFFF) return false;
    return ForEachNalUnit(frame, [&](const NalUnit& unit) {
        // Some terminals put a 3-byte start code inside a unit (a PPS directly followed by
        // its picture); those bytes cannot occur in a unit, so they always divide two.
        std::string_view rest(frame.data() + unit.offset, static_cast<size_t>(unit.size));
        while (!rest.empty()) {
            size_t cut = rest.find(std::string_view("\0\0\1", 3));
            std::string_view piece = rest.substr(0, cut);
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 3);
            while (!piece.empty() && piece.back() == 0)
                piece.remove_suffix(1);
            if (piece.empty()) continue;
            if (!addUnit(piece, timestamp)) return false;
            if (!file) return false;
        }
        return true;
    });
}

bool FLVEncoder::AddAudio(std::string_view pcm) {
    if (!file) return false;
    const size_t frameBytes = aac.frameBytes;
    while (!pcm.empty()) {
        // Never more than completes one encoder frame per call.
        const size_t take =
            frameBytes > 0 ? std::min(pcm.size(), frameBytes - pendingPcm) : pcm.size();
        std::string out;
        double ms = 0;
        if (!aac.Encode(pcm.substr(0, take), out, ms)) return false;
        pcm.remove_prefix(take);
        if (frameBytes > 0) pendingPcm = (pendingPcm + take) % frameBytes;
        if (out.empty()) continue;
        if (hasVideo && lastVideoTimestamp == kNoTimestamp) continue;
        if (!writeAudio(out, ms)) return false;
    }
    return true;
}

void FLVEncoder::finish(bool keepShort) {
    if (!file) return;
    durationMs = wholeMs(std::max(audioTime, videoTime));
    if (started && (keepShort || durationMs >= kMinDurationMs)) {
        videoDataRate = videoTime > 0
                            ? wholeMs(std::floor(videoBytes * 1000.0 / videoTime / 128.0 + 0.5))
                            : 320;
        const std::string first = firstPart();
        // Same length as when first written, so nothing behind it moves.
        if (file->seek(0)) {
            file->write(first);
            file->flush();
        }
        if (header.size() >= first.size()) header.replace(0, first.size(), first);
        spareHeader = header;
        file.reset();
    } else {
        file->flush();
        file.reset();
        if (!keepShort) removeMediaFile(fileName);
    }
}

void FLVEncoder::Close() {
    finish(false);
    reset();
}

void FLVEncoder::SaveState(std::string& out) {
    finish(true);
    out.clear();
    util::BEPack p(out);
    p.str8(fileName);
    p.u8(started ? 1 : 0).u8(headerReady ? 1 : 0).u8(hasVideo ? 1 : 0);
    p.str16(header).str16(spareHeader);
    p.u32(durationMs).u32(width).u32(height).u32(videoDataRate).u32(frameRate);
    p.u32(sampleRate).u32(sampleSize).u32(channels).u32(fileSize);
    p.str16(sps).str16(pps);
    p.u32(lastVideoTimestamp).u32(videoBytes);
    p.f64(videoTime).f64(audioTime);
}

bool FLVEncoder::LoadState(std::string_view state) {
    Close();
    util::BEUnpack in(state);
    uint8_t flags[3] = {};
    bool ok = in.str8(fileName) && in.u8(flags[0]) && in.u8(flags[1]) && in.u8(flags[2]) &&
              in.str16(header) && in.str16(spareHeader);
    for (uint32_t* v : {&durationMs, &width, &height, &videoDataRate, &frameRate, &sampleRate,
                        &sampleSize, &channels, &fileSize})
        ok = ok && in.u32(*v);
    ok = ok && in.str16(sps) && in.str16(pps) && in.u32(lastVideoTimestamp) && in.u32(videoBytes) &&
         in.f64(videoTime) && in.f64(audioTime);
    started = flags[0] != 0;
    headerReady = flags[1] != 0;
    hasVideo = flags[2] != 0;
    if (!ok) {
        reset();
        return false;
    }
    // A damaged state must not turn into nonsense timestamps.
    if (!std::isfinite(videoTime) || !std::isfinite(audioTime) || videoTime < 0 || audioTime < 0 ||
        videoTime > 4294967295.0 || audioTime > 4294967295.0) {
        reset();
        return false;
    }
    if (frameRate == 0) frameRate = 25;
    if (!initEncoder()) {
        const std::string why = lastError;
        reset();
        lastError = why;
        return false;
    }
    if (fileName.empty()) return true;
    file = openFile(fileName, false);
    bool fresh = !file;
    if (file && !started) fresh = !file->truncate(0);
    if (file && started) {
        // Anything behind the last whole tag written (a crash, a full disk) is cut off; a file
        // that is shorter than recorded, or not ours, is started over.
        std::string magic;
        const int64_t size = file->size();
        fresh = size < int64_t{fileSize} || !file->seek(0) || !file->read(3, magic) ||
                magic != "FLV" || !file->truncate(fileSize);
    }
    if (fresh) {
        file = openFile(fileName, true);
        if (!file) {
            lastError = "创建文件失败"_gbk;
            return false;
        }
        if (started) {
            started = headerReady = false;
            fileSize = 0;
            lastVideoTimestamp = kNoTimestamp;
        }
    }
    if (!file->seekEnd()) {
        file.reset();
        lastError = "创建文件失败"_gbk;
        return false;
    }
    return true;
}

} // namespace media
