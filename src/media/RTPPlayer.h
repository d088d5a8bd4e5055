#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "media/AudioCodec.h"
#include "media/Decodesps.h"
#include "media/Flvencoder.h"
#include "media/Hi_H264DeCode.h"
#include "media/PlayTimer.h"
#include "media/RTPBuf.h"
#include "media/RTPmeta.h"
#include "media/SoundDevice.h"
#include "media/VideoFrame.h"

namespace media {

// Plays one terminal channel: queues its frames on its own clock, decodes video into its
// picture and audio into PCM for the speaker, records FLV, saves JPEG snapshots, keeps
// per-second statistics and the status text under the picture. The multi-screen view owns
// the players, routes frames to Input and calls Tick on every redraw.
class RTPPlayer {
public:
    enum State : int { StartPending = 0, Playing = 1, StopPending = 2, Stopped = 3 };

    static constexpr uint32_t kMaxPlayMs = 259200000; // 72 hours
    static constexpr int kSnapshotQuality = 90;
    // Above this many pictures decoded in the last second, an unforced tick shows only every
    // other picture.
    static constexpr uint32_t kFullRatePictures = 17;

    struct Statistics {
        uint32_t firstDataMs = 0;    // clock ms of the first frame, 0 = not yet
        uint32_t firstPictureMs = 0; // clock ms of the first picture, 0 = not yet
        uint32_t shown = 0;          // in the last full second
        uint32_t decoded = 0;
        uint32_t bytes = 0;
    };

    explicit RTPPlayer(const PlayTimer::Counter& counter = PlayTimer::systemCounter());
    ~RTPPlayer();
    RTPPlayer(const RTPPlayer&) = delete;
    RTPPlayer& operator=(const RTPPlayer&) = delete;

    bool Start();
    void Stop();
    void Input(const RTPmeta& header, std::string_view bytes);
    // force: full-quality conversion of every picture (fewer than 7 pictures on screen).
    void Tick(bool force);
    void StartRecording(const std::string& file);
    void StopRecording();
    // An empty name cancels a pending snapshot.
    void Snapshot(const std::string& file);
    // The view's fetch of the picture.
    bool Take(bool force, const uint32_t*& bitmap) { return picture.Take(force, bitmap); }

    uint32_t Elapsed() const { return clock.Elapsed(); }
    // "CH1 " and so on, for the caption.
    std::string_view label() const { return labelText; }
    const VideoFrame& frame() const { return picture; }

    int state = Stopped;
    RTPBuf buffer;
    Hi_H264DeCode decoder;
    VideoFrame picture;
    bool reinit = true;
    int idrCount = 0;
    int spsWidth = 0, spsHeight = 0;
    int picWidth = 0, picHeight = 0;
    AdpcmState adpcm;
    FLVEncoder recorder;
    bool recordWanted = false;
    bool recording = false;
    std::string recordFile; // GBK
    bool snapshotWanted = false;
    std::string snapshotFile; // GBK
    std::string errorText;    // GBK

    // Kept for the view.
    SIMCH key;
    std::string displayName; // GBK
    std::string labelText;   // GBK
    int cell = -1;
    bool visible = true;
    bool paused = false;
    bool audioOn = false;
    bool mainStream = false;

    SoundFormat audioFormat;
    // Decoded PCM of this channel while its audio is on; may be absent.
    std::function<void(std::string_view pcm)> OnAudio;

    int waitSeconds = 0;
    std::string statusText; // GBK
    bool statusChanged = false;
    uint32_t byteCount = 0;
    Statistics stats;

private:
    void resetPlayer();
    void runRecorder();
    void playAudio(const RTPmeta& header, std::string_view bytes);
    void decodeVideo(std::string& bytes, bool force, bool& shownThisTick);
    void decodeUnit(const NalUnit& unit, bool force, bool& shownThisTick);
    void showPicture(bool force);

    PlayTimer clock;
};

} // namespace media
