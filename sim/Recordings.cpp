#include "Recordings.h"

#include <algorithm>
#include <random>

namespace sim {

std::vector<SimRecording> Recordings::day(const SimTerminal& terminal, uint8_t channel,
                                          const QDate& date) const {
    std::seed_seq mix{seed, static_cast<uint32_t>(std::hash<std::string>{}(terminal.sim)),
                      static_cast<uint32_t>(channel), static_cast<uint32_t>(date.toJulianDay())};
    std::mt19937 rng(mix);
    std::vector<SimRecording> out;
    QDateTime t(date, QTime(5, 0));
    t = t.addSecs(60 * static_cast<int>(rng() % 120));
    const QDateTime night(date, QTime(22, 30));
    while (t < night) {
        const int minutes = 5 + static_cast<int>(rng() % 26);
        const QDateTime end = std::min(t.addSecs(60 * minutes), night);
        SimRecording r{channel, t, end};
        r.fileSize = static_cast<int32_t>(t.secsTo(end) * 40 * 1024);
        out.push_back(r);
        t = end;
        // The vehicle stands still now and then.
        if (rng() % 4 == 0) t = t.addSecs(60 * (10 + static_cast<int>(rng() % 80)));
    }
    return out;
}

std::vector<SimRecording> Recordings::find(const SimTerminal& terminal, uint8_t channel,
                                           const QDateTime& from, const QDateTime& to) const {
    std::vector<SimRecording> out;
    if (!from.isValid() || !to.isValid() || to < from) return out;
    const QDate last = std::min(to.date(), from.date().addDays(kMaxDays - 1));
    for (QDate d = from.date(); d <= last; d = d.addDays(1)) {
        for (uint8_t c : terminal.channels) {
            if (channel != 0 && c != channel) continue;
            for (const SimRecording& r : day(terminal, c, d))
                if (r.end > from && r.start < to) out.push_back(r);
        }
    }
    return out;
}

} // namespace sim
