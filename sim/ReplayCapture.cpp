#include "ReplayCapture.h"

#include <QFile>
#include <algorithm>

#include "media/RTP1078Exp.h"

namespace sim {

bool ReplayCapture::load(const QString& path, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = path + ": " + f.errorString();
        return false;
    }
    std::vector<Frame> all;
    media::RTP1078Exp extractor;
    extractor.OnFrame = [&](const media::RTPmeta& h, std::string_view body) {
        all.push_back({h, std::string(body), 0});
    };
    while (!f.atEnd()) {
        const QByteArray block = f.read(1 << 16);
        if (block.isEmpty()) break;
        extractor.Feed(std::string_view(block.constData(), static_cast<size_t>(block.size())));
    }
    const auto first = std::find_if(all.begin(), all.end(), [](const Frame& fr) {
        return fr.meta.dataType == media::kVideoI && fr.meta.PT == media::kPtH264;
    });
    if (first == all.end()) {
        error = path + ": no H.264 key frame";
        return false;
    }
    const media::SIMCH key = first->meta.simch;
    list.clear();
    // Terminals stamp audio in bursts and repeat stamps; pacing by the latest stamp so far keeps
    // the file's order and never runs time backwards.
    const uint32_t start = first->meta.timestamp;
    int64_t latest = 0;
    int64_t lastVideoGap = 40;
    int64_t lastVideo = -1;
    for (auto it = first; it != all.end(); ++it) {
        if (it->meta.simch != key) continue;
        // Wrapping unsigned difference: a stamp a little before the first counts as 0.
        const auto since = static_cast<int32_t>(it->meta.timestamp - start);
        latest = std::max<int64_t>(latest, since);
        if (it->meta.dataType <= media::kVideoB) {
            if (lastVideo >= 0 && latest > lastVideo) lastVideoGap = latest - lastVideo;
            lastVideo = latest;
        }
        it->dueMs = latest;
        list.push_back(std::move(*it));
    }
    pass = latest + lastVideoGap;
    return true;
}

} // namespace sim
