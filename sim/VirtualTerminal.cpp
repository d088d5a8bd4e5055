#include "VirtualTerminal.h"

#include <QDateTime>
#include <cmath>

#include "media/RTP1078Exp.h"

namespace sim {

namespace {
constexpr int kFps = 25;
constexpr int kFrameMs = 1000 / kFps;
constexpr int kSampleRate = 8000;
constexpr int kSamplesPerFrame = kSampleRate * kFrameMs / 1000;
} // namespace

VirtualTerminal::VirtualTerminal(const SimTerminal& terminal, const QString& plate, uint8_t channel,
                                 int w, int h, Sink sink,
                                 std::shared_ptr<const ReplayCapture> capture)
    : channelKey{terminal.sim, channel}, audioType(terminal.audioType), sink(std::move(sink)),
      pictures(w, h, plate, QString::fromLatin1(media::channelLabel(channel).data(), 4),
               QString::fromStdString(terminal.sim), channel),
      timestampBase(static_cast<uint32_t>(QDateTime::currentMSecsSinceEpoch())), width(w),
      height(h), replay(std::move(capture)) {
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { tick(); });
}

bool VirtualTerminal::start() {
    if (!replay && !encoder.open(width, height, kFps)) return false;
    clock.start();
    timer.start(kFrameMs / 2);
    return true;
}

void VirtualTerminal::playRecording(const QDateTime& start, const QDateTime& end) {
    recordingStart = start;
    recordingEnd = end;
}

void VirtualTerminal::setPaused(bool pause) {
    if (pause == paused) return;
    paused = pause;
    if (!paused) {
        // Resume where the stream stopped instead of catching up the pause.
        clock.restart();
        pausedFrames = sentPictures;
        if (replay)
            replayFromMs = replayPasses * replay->passMs() + replay->frames()[replayNext].dueMs;
    }
}

void VirtualTerminal::tick() {
    if (paused || ended) return;
    if (replay) {
        replayTick();
        return;
    }
    // Catch up with the wall clock, so a late timer never slows the stream down.
    const qint64 due = pausedFrames + clock.elapsed() / kFrameMs + 1;
    for (int burst = 0; sentPictures < due && burst < kFps; ++burst) {
        sendSound(sentPictures);
        sendPicture(sentPictures++);
    }
    if (sentPictures < due) sentPictures = due; // too far behind: skip, as a camera would
}

void VirtualTerminal::replayTick() {
    const int64_t now = replayFromMs + clock.elapsed();
    if (recordingStart.isValid() && now > recordingStart.msecsTo(recordingEnd)) {
        ended = true;
        return;
    }
    const auto& frames = replay->frames();
    // A late timer sends what is due in one burst; a bounded one, so a stalled machine catches
    // up over a few ticks instead of blocking the server.
    for (int burst = 0; burst < 500; ++burst) {
        const ReplayCapture::Frame& f = frames[replayNext];
        const int64_t due = replayPasses * replay->passMs() + f.dueMs;
        if (due > now) break;
        media::RTPmeta h = f.meta;
        h.simch = channelKey;
        h.timestamp = timestampBase + static_cast<uint32_t>(due);
        sink(channelKey, media::RTP1078Exp::BuildPackets(h, f.body, seq));
        if (++replayNext == frames.size()) {
            replayNext = 0;
            ++replayPasses;
        }
    }
}

void VirtualTerminal::sendPicture(qint64 n) {
    QDateTime shown = QDateTime::currentDateTime();
    if (recordingStart.isValid()) {
        shown = recordingStart.addMSecs(n * kFrameMs);
        if (shown > recordingEnd) {
            ended = true;
            return;
        }
    }
    pictures.draw(n, shown);
    H264Encoder::Picture picture;
    if (!encoder.encode(pictures.y(), pictures.u(), pictures.v(), picture) || picture.bytes.empty())
        return;
    media::RTPmeta h;
    h.PT = media::kPtH264;
    h.dataType = picture.key ? media::kVideoI : media::kVideoP;
    h.simch = channelKey;
    h.timestamp = timestampBase + static_cast<uint32_t>(n * kFrameMs);
    h.lastIInterval = 1000;
    h.lastFrameInterval = kFrameMs;
    sink(channelKey, media::RTP1078Exp::BuildPackets(h, picture.bytes, seq));
}

void VirtualTerminal::sendSound(qint64 n) {
    // A tone whose pitch tells the channels apart, at a quarter of full scale.
    const double hz = 300.0 + 100.0 * channelKey.channel;
    std::string pcm(static_cast<size_t>(kSamplesPerFrame) * 2, '\0');
    for (int i = 0; i < kSamplesPerFrame; ++i) {
        const double t = static_cast<double>(n * kSamplesPerFrame + i) / kSampleRate;
        const auto sample = static_cast<int16_t>(8000.0 * std::sin(2 * M_PI * hz * t));
        pcm[2 * i] = static_cast<char>(sample & 0xFF);
        pcm[2 * i + 1] = static_cast<char>((sample >> 8) & 0xFF);
    }
    const std::string body =
        audioType == media::kPtAdpcm ? media::EncodeAdpcm(pcm, adpcm) : media::EncodeALaw(pcm);
    if (body.empty()) return;
    media::RTPmeta h;
    h.PT = audioType;
    h.dataType = media::kAudio;
    h.simch = channelKey;
    h.timestamp = timestampBase + static_cast<uint32_t>(n * kFrameMs);
    sink(channelKey, media::RTP1078Exp::BuildPackets(h, body, seq));
}

} // namespace sim
