#include "util/Clock.h"

#include <chrono>

namespace util {

Clock::~Clock() = default;

uint64_t SystemClock::monotonicMs() const {
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now() - origin).count());
}

DateTime SystemClock::now() const {
    return nowLocal();
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

FakeClock::FakeClock(uint64_t monotonicMs, DateTime now) : monotonic(monotonicMs), base(now) {}

DateTime FakeClock::now() const {
    return base + static_cast<double>(offsetMs) / 86'400'000.0;
}

void FakeClock::setNow(DateTime t) {
    base = t;
    offsetMs = 0;
}

void FakeClock::advanceMs(uint64_t ms) {
    monotonic += ms;
    offsetMs += static_cast<int64_t>(ms);
}

} // namespace util
