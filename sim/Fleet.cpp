#include "Fleet.h"

#include <random>

#include "media/RTPmeta.h"
#include "media/SIMCH.h"

namespace sim {

Fleet::Fleet(int vehicles, uint32_t seed) {
    std::mt19937 rng(seed);
    static const QString provinces = QString::fromUtf8("京沪粤浙苏鲁川鄂湘豫");
    for (int i = 0; i < vehicles; ++i) {
        SimVehicle v;
        // Eleven-digit mobile numbers, unique by their index.
        const unsigned long long number =
            13900000000ull + static_cast<unsigned>(i) * 7919u + rng() % 7919u;
        v.sim = media::padSim(std::to_string(number));
        v.plate = QString("%1%2%3")
                      .arg(provinces[static_cast<int>(rng() % provinces.size())])
                      .arg(QChar('A' + static_cast<char>(rng() % 8)))
                      .arg(rng() % 100000, 5, 10, QChar('0'));
        const int channels = 1 + static_cast<int>(rng() % 4);
        for (int c = 1; c <= channels; ++c)
            v.channels.push_back(static_cast<uint8_t>(c));
        v.audioType = i % 2 == 0 ? media::kPtG711A : media::kPtAdpcm;
        all.push_back(std::move(v));
    }
}

const SimVehicle* Fleet::find(const std::string& sim) const {
    for (const SimVehicle& v : all)
        if (v.sim == sim) return &v;
    return nullptr;
}

} // namespace sim
