#pragma once

#include <chrono>

namespace util {

// Monotonic high-resolution interval timer; starts on construction.
class Stopwatch {
public:
    using Counter = std::chrono::steady_clock;

    // Counter ticks per millisecond.
    static constexpr double frequency =
        static_cast<double>(Counter::period::den) / Counter::period::num / 1000.0;

    Stopwatch();

    void restart();
    double elapsedMs() const;

private:
    Counter::time_point start;
};

} // namespace util
