#include "Fleet.h"

#include <QStringList>
#include <random>

#include "media/RTPmeta.h"
#include "media/SIMCH.h"

namespace sim {

namespace {

const QStringList kCameraPlaces = {QString::fromUtf8("前方"), QString::fromUtf8("车厢"),
                                   QString::fromUtf8("驾驶员"), QString::fromUtf8("后方")};
const QStringList kMakes = {QString::fromUtf8("有为"), QString::fromUtf8("锐明"), QString()};

} // namespace

Fleet::Fleet(int vehicles, uint32_t seed, int unreachableEvery) {
    std::mt19937 rng(seed);
    // A company per 500 vehicles (at least two), each with fleets of about 50 vehicles.
    const int companies = std::max(2, vehicles / 500);
    const int fleetsPerCompany = std::max(1, vehicles / companies / 50);
    for (int c = 0; c < companies; ++c) {
        // Organisation ids never meet the vehicles' numeric ones.
        const QString company = QString("C%1").arg(c + 1);
        orgs.push_back({company, QString(), QString::fromUtf8("运输集团%1公司").arg(c + 1), 1});
        for (int f = 0; f < fleetsPerCompany; ++f)
            orgs.push_back({QString("%1F%2").arg(company).arg(f + 1), company,
                            QString::fromUtf8("第%1车队").arg(f + 1), 2});
    }
    static const QString provinces = QString::fromUtf8("京沪粤浙苏鲁川鄂湘豫");
    unsigned long long nextSim = 13900000000ull;
    for (int i = 0; i < vehicles; ++i) {
        SimVehicle v;
        v.id = QString::number(100000 + i);
        const int company = i % companies;
        const int fleet = (i / companies) % fleetsPerCompany;
        v.orgId = QString("C%1F%2").arg(company + 1).arg(fleet + 1);
        v.plate = QString("%1%2%3")
                      .arg(provinces[static_cast<int>(rng() % provinces.size())])
                      .arg(QChar('A' + static_cast<char>(rng() % 8)))
                      .arg(rng() % 100000, 5, 10, QChar('0'));
        v.unreachable = unreachableEvery > 0 && i > 0 && i % unreachableEvery == 0;
        v.onlinePhase = static_cast<int>(rng() % 10);
        // One vehicle in eight carries a second terminal.
        const int terminals = i % 8 == 7 ? 2 : 1;
        for (int t = 0; t < terminals; ++t) {
            SimTerminal term;
            nextSim += 1 + rng() % 7919;
            term.sim = media::padSim(std::to_string(nextSim));
            const QString make = kMakes[static_cast<int>(rng() % kMakes.size())];
            const int channels = 1 + static_cast<int>(rng() % 4);
            for (int c = 1; c <= channels; ++c) {
                term.channels.push_back(static_cast<uint8_t>(c));
                const QString place = kCameraPlaces[(c - 1) % kCameraPlaces.size()];
                term.titles.push_back(make.isEmpty() ? place : make + "-" + place);
            }
            term.audioType = (i + t) % 2 == 0 ? media::kPtG711A : media::kPtAdpcm;
            bySim[term.sim] = {all.size(), v.terminals.size()};
            v.terminals.push_back(std::move(term));
        }
        all.push_back(std::move(v));
    }
}

const SimTerminal* Fleet::findTerminal(const std::string& sim) const {
    const auto it = bySim.find(sim);
    return it == bySim.end() ? nullptr : &all[it->second.first].terminals[it->second.second];
}

const SimVehicle* Fleet::vehicleOf(const std::string& sim) const {
    const auto it = bySim.find(sim);
    return it == bySim.end() ? nullptr : &all[it->second.first];
}

bool Fleet::online(const SimVehicle& v, qint64 epochSeconds) const {
    if (&v == &all.front()) return true;
    return (epochSeconds / 60 + v.onlinePhase) % 10 < 8;
}

} // namespace sim
