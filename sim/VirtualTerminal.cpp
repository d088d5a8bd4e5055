#include "VirtualTerminal.h"

#include <QDateTime>

#include "media/RTP1078Exp.h"

namespace sim {

namespace {
constexpr int kFps = 25;
constexpr int kFrameMs = 1000 / kFps;
} // namespace

VirtualTerminal::VirtualTerminal(const SimVehicle& vehicle, uint8_t channel, int w, int h,
                                 Sink sink)
    : channelKey{vehicle.sim, channel}, sink(std::move(sink)),
      pictures(w, h, vehicle.plate, QString::fromLatin1(media::channelLabel(channel).data(), 4),
               QString::fromStdString(vehicle.sim), channel),
      timestampBase(static_cast<uint32_t>(QDateTime::currentMSecsSinceEpoch())), width(w),
      height(h) {
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { tick(); });
}

bool VirtualTerminal::start() {
    if (!encoder.open(width, height, kFps)) return false;
    clock.start();
    timer.start(kFrameMs / 2);
    return true;
}

void VirtualTerminal::tick() {
    // Catch up with the wall clock, so a late timer never slows the stream down.
    const qint64 due = clock.elapsed() / kFrameMs + 1;
    for (int burst = 0; sentPictures < due && burst < kFps; ++burst)
        sendPicture(sentPictures++);
    if (sentPictures < due) sentPictures = due; // too far behind: skip, as a camera would
}

void VirtualTerminal::sendPicture(qint64 n) {
    pictures.draw(n);
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

} // namespace sim
