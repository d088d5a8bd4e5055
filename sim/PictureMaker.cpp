#include "PictureMaker.h"

#include <QDateTime>
#include <QFont>
#include <QPainter>

namespace sim {

PictureMaker::PictureMaker(int width, int height, QString plate, QString channelLabel, QString sim,
                           int tint)
    : luma(width, height, QImage::Format_Grayscale8), plate(std::move(plate)),
      label(std::move(channelLabel)), simText(std::move(sim)) {
    const size_t chroma = static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2);
    static const int tints[][2] = {{128, 128}, {100, 150}, {150, 110}, {110, 110}, {150, 150}};
    const auto& t = tints[tint % 5];
    cb.assign(chroma, static_cast<char>(t[0]));
    cr.assign(chroma, static_cast<char>(t[1]));
}

void PictureMaker::draw(qint64 frameNumber, const QDateTime& shownTime) {
    const int w = luma.width(), h = luma.height();
    luma.fill(40);
    QPainter p(&luma);
    // A bar that crosses the picture every four seconds shows motion and dropped pictures.
    const int barX = static_cast<int>((frameNumber * w) / 100 % w);
    p.fillRect(barX, 0, w / 16, h, QColor(200, 200, 200));
    QFont font;
    font.setPixelSize(std::max(12, h / 12));
    p.setFont(font);
    p.setPen(QColor(235, 235, 235));
    const int line = font.pixelSize() + 4;
    const QString clock = shownTime.toString("yyyy-MM-dd hh:mm:ss.zzz");
    p.drawText(10, line, plate + "  " + label);
    p.drawText(10, 2 * line, simText);
    p.drawText(10, h - 10, clock + QString("  #%1").arg(frameNumber));
}

} // namespace sim
