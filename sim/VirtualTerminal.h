#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "Fleet.h"
#include "H264Encoder.h"
#include "PictureMaker.h"
#include "ReplayCapture.h"
#include "media/AudioCodec.h"
#include "media/SIMCH.h"

namespace sim {

// One channel of a simulated terminal: pictures at 25 a second and a tone in 40 ms frames of
// the vehicle's audio type, packed into stream packets and handed to the sink in real time.
// With a capture to replay it streams the capture's frames instead, looped, keyed to its own
// SIM and channel, with timestamps that carry on from pass to pass.
class VirtualTerminal : public QObject {
public:
    using Sink = std::function<void(const media::SIMCH& key, const std::string& packets)>;

    VirtualTerminal(const SimTerminal& terminal, const QString& plate, uint8_t channel, int width,
                    int height, Sink sink, std::shared_ptr<const ReplayCapture> replay = nullptr);
    bool start();
    // A recording instead of the live picture: its time is drawn, and it ends at `end`.
    void playRecording(const QDateTime& start, const QDateTime& end);
    void setPaused(bool paused);
    bool finished() const { return ended; }
    const media::SIMCH& key() const { return channelKey; }

private:
    void tick();
    void replayTick();
    void sendPicture(qint64 n);
    void sendSound(qint64 n);

    media::SIMCH channelKey;
    uint8_t audioType;
    Sink sink;
    H264Encoder encoder;
    PictureMaker pictures;
    QTimer timer;
    QElapsedTimer clock;
    qint64 sentPictures = 0;
    qint64 pausedFrames = 0;
    uint16_t seq = 0;
    media::AdpcmState adpcm;
    uint32_t timestampBase;
    int width, height;
    bool paused = false;
    bool ended = false;
    QDateTime recordingStart, recordingEnd;
    std::shared_ptr<const ReplayCapture> replay;
    size_t replayNext = 0;    // the next frame of the capture
    int64_t replayPasses = 0; // whole passes sent
    int64_t replayFromMs = 0; // stream time at the last (re)start of the clock
};

} // namespace sim
