#include "media/RTPPlayer.h"

#include <cstring>

#include "media/ColorConvert.h"
#include "media/JpegFile.h"
#include "util/GbkText.h"

using namespace util::literals;

namespace media {

namespace {

// Bytes counted per frame on top of its body: the packet header the frame came in.
uint32_t frameOverhead(uint8_t dataType) {
    if (dataType == kTransparent) return 18;
    if (dataType == kAudio) return 26;
    return 30;
}

} // namespace

RTPPlayer::RTPPlayer(const PlayTimer::Counter& counter) : clock(counter) {}

RTPPlayer::~RTPPlayer() = default;

bool RTPPlayer::Start() {
    if (!clock.Start()) {
        errorText = "取计时器频率失败"_gbk;
        return false;
    }
    statusText = "画面打开"_gbk;
    state = StartPending;
    waitSeconds = 0;
    Tick(true);
    return true;
}

void RTPPlayer::Stop() {
    statusText.clear();
    state = StopPending;
    waitSeconds = 0;
    Tick(true);
}

void RTPPlayer::Input(const RTPmeta& header, std::string_view bytes) {
    if (state != Playing) return;
    if (stats.firstDataMs == 0) stats.firstDataMs = clock.Elapsed();
    byteCount += header.length + frameOverhead(header.dataType);
    if (header.dataType == kTransparent) return;
    buffer.Push(header, bytes);
}

void RTPPlayer::StartRecording(const std::string& file) {
    recordFile = file;
    recordWanted = true;
}

void RTPPlayer::StopRecording() {
    recordWanted = false;
}

void RTPPlayer::Snapshot(const std::string& file) {
    if (file.empty()) {
        snapshotWanted = false;
        snapshotFile.clear();
        return;
    }
    snapshotFile = file;
    snapshotWanted = true;
}

void RTPPlayer::resetPlayer() {
    buffer.Reset();
    EnsureColorTables();
    reinit = true;
    statusChanged = true;
    picture.Clear();
    stats = Statistics{};
    decoder.decodedCount = 0;
    idrCount = 0;
    picWidth = picHeight = spsWidth = spsHeight = 0;
    byteCount = 0;
    recording = false;
    snapshotWanted = false;
    paused = false;
}

void RTPPlayer::runRecorder() {
    if (recordWanted && !recording) {
        if (recorder.Open(recordFile, 25, audioFormat.sampleRate, audioFormat.channels,
                          audioFormat.bitsPerSample, true)) {
            recording = true;
        } else {
            errorText = recorder.lastError;
            recordWanted = false;
        }
    }
    if (recording && !recordWanted) {
        recorder.Close();
        recording = false;
    }
}

void RTPPlayer::Tick(bool force) {
    if (state == Stopped) return;
    const uint32_t now = clock.Elapsed();
    if (clock.SecondTick()) {
        stats.shown = picture.shownCount;
        stats.decoded = decoder.decodedCount;
        stats.bytes = byteCount;
        picture.shownCount = 0;
        decoder.decodedCount = 0;
        byteCount = 0;
        if (waitSeconds > 0) {
            if (waitSeconds == 1) {
                statusText = "终端响应超时"_gbk;
                statusChanged = true;
            }
            --waitSeconds;
        }
    }
    if (now > kMaxPlayMs) state = StopPending;
    if (state == StopPending) {
        recordWanted = false;
        decoder.Destroy();
        recorder.Close();
        recording = false;
        state = Stopped;
        return;
    }
    if (state == StartPending) {
        state = Playing;
        resetPlayer();
    }
    runRecorder();

    bool shownThisTick = false;
    RTPmeta header;
    std::string bytes;
    while (buffer.Pop(now, header, bytes)) {
        if (header.dataType == kAudio) {
            if (header.PT == kPtAdpcm || header.PT == kPtG711A) playAudio(header, bytes);
        } else if (header.PT == kPtH264 && header.dataType <= kVideoB) {
            if (recordWanted) {
                std::string copy = bytes;
                recorder.AddVideo(copy, header.timestamp);
            }
            decodeVideo(bytes, force, shownThisTick);
        }
    }
}

void RTPPlayer::playAudio(const RTPmeta& header, std::string_view bytes) {
    const bool toSpeaker = audioOn && !paused;
    if (!recordWanted && !toSpeaker) return;
    const std::string pcm = header.PT == kPtAdpcm ? DecodeAdpcm(bytes, adpcm) : DecodeALaw(bytes);
    if (pcm.empty()) return;
    if (toSpeaker && OnAudio) OnAudio(pcm);
    if (recordWanted) recorder.AddAudio(pcm);
}

void RTPPlayer::decodeVideo(std::string& bytes, bool force, bool& shownThisTick) {
    ForEachNalUnit(bytes, [&](const NalUnit& unit) { decodeUnit(unit, force, shownThisTick); });
}

void RTPPlayer::decodeUnit(const NalUnit& unit, bool force, bool& shownThisTick) {
    if (unit.type == 7 && unit.size >= 1 && unit.size <= 1023) {
        uint8_t copy[1024];
        std::memcpy(copy, unit.data, static_cast<size_t>(unit.size));
        SpsInfo info;
        if (ParseSps(copy, unit.size, info) &&
            (info.width != spsWidth || info.height != spsHeight)) {
            spsWidth = info.width;
            spsHeight = info.height;
            reinit = true;
        }
        if (reinit) {
            reinit = false;
            decoder.Create();
        }
    }
    // The unit's start code lies directly before it.
    const int result = decoder.Decode(unit.data - 4, unit.size + 4);
    if (result == Hi_H264DeCode::kRecreate) {
        reinit = true;
        return;
    }
    if (result != Hi_H264DeCode::kPicture) return;
    if (unit.type == 5 && ++idrCount > 4) {
        idrCount = 0;
        reinit = true;
    }
    if (stats.firstPictureMs == 0) stats.firstPictureMs = clock.Elapsed();
    if (shownThisTick) return;
    shownThisTick = true;
    showPicture(force);
}

void RTPPlayer::showPicture(bool force) {
    waitSeconds = 0;
    statusText.clear();
    if (!visible || paused || picture.newPicture) return;
    if (!force && !snapshotWanted && stats.decoded > kFullRatePictures &&
        decoder.decodedCount % 2 == 1)
        return;
    int width = 0, height = 0;
    uint32_t timestamp = 0;
    if (!decoder.Picture(width, height, timestamp) || !picture.SizeTo(height, width)) return;
    const Hi_H264DeCode::Output& o = decoder.output();
    const bool exact = force || snapshotWanted;
    (exact ? ConvertExact : ConvertFast)(height, width, o.y, o.u, o.v, o.yStride, o.uvStride,
                                         picture.rowTable());
    picture.newPicture = true;
    if (width != picWidth || height != picHeight) {
        picWidth = width;
        picHeight = height;
        statusChanged = true;
    }
    if (snapshotWanted) {
        JpegFile::save(snapshotFile, picture.rowTable(), width, height, kSnapshotQuality);
        snapshotWanted = false;
    }
}

} // namespace media
