#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <string>

namespace sim {

// Draws a terminal's test picture: a moving bar, the plate, the channel label, the SIM and the
// clock, as YUV 4:2:0 planes (luma drawn, chroma a fixed tint per channel).
class PictureMaker {
public:
    PictureMaker(int width, int height, QString plate, QString channelLabel, QString sim, int tint);

    void draw(qint64 frameNumber, const QDateTime& shownTime);
    const uint8_t* y() const { return luma.constBits(); }
    const uint8_t* u() const { return reinterpret_cast<const uint8_t*>(cb.data()); }
    const uint8_t* v() const { return reinterpret_cast<const uint8_t*>(cr.data()); }

private:
    QImage luma; // 8-bit grey, its bytes are the Y plane (the width is a multiple of 4)
    std::string cb, cr;
    QString plate, label, simText;
};

} // namespace sim
