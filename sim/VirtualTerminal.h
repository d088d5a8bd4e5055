#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "Fleet.h"
#include "H264Encoder.h"
#include "PictureMaker.h"
#include "media/SIMCH.h"

namespace sim {

// One channel of a simulated terminal: pictures at 25 a second, packed into stream packets
// and handed to the sink in real time.
class VirtualTerminal : public QObject {
public:
    using Sink = std::function<void(const media::SIMCH& key, const std::string& packets)>;

    VirtualTerminal(const SimVehicle& vehicle, uint8_t channel, int width, int height, Sink sink);
    bool start();
    const media::SIMCH& key() const { return channelKey; }

private:
    void tick();
    void sendPicture(qint64 n);

    media::SIMCH channelKey;
    Sink sink;
    H264Encoder encoder;
    PictureMaker pictures;
    QTimer timer;
    QElapsedTimer clock;
    qint64 sentPictures = 0;
    uint16_t seq = 0;
    uint32_t timestampBase;
    int width, height;
};

} // namespace sim
