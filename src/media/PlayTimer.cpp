#include "media/PlayTimer.h"

#include <chrono>

#include "util/Clock.h"

namespace media {

namespace {

class SteadyCounter : public PlayTimer::Counter {
public:
    int64_t frequency() const override {
        using P = std::chrono::steady_clock::period;
        return P::num == 0 ? 0 : static_cast<int64_t>(P::den / P::num);
    }
    int64_t count() const override {
        return std::chrono::steady_clock::now().time_since_epoch().count();
    }
};

} // namespace

PlayTimer::Counter& PlayTimer::systemCounter() {
    static SteadyCounter counter;
    return counter;
}

bool PlayTimer::Start() {
    ticksPerMs = counter->frequency() / 1000;
    if (ticksPerMs <= 0) {
        ticksPerMs = 0;
        return false;
    }
    startCount = counter->count();
    lastSecond = 0;
    return true;
}

uint32_t PlayTimer::Elapsed() const {
    if (ticksPerMs <= 0) return 0;
    const int64_t diff = counter->count() - startCount;
    if (diff <= 0) return 0;
    return static_cast<uint32_t>((diff + ticksPerMs / 2) / ticksPerMs);
}

bool PlayTimer::SecondTick() {
    const uint32_t now = Elapsed();
    if (now - lastSecond < 1000) return false;
    lastSecond = now;
    return true;
}

int64_t ClockCounter::count() const {
    return static_cast<int64_t>(clock.monotonicMs());
}

} // namespace media
