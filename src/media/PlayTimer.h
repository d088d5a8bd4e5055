#pragma once

#include <cstdint>

namespace util {
class Clock;
}

namespace media {

// A channel player's millisecond clock on a high-resolution counter.
class PlayTimer {
public:
    // Where the counts come from; tests move a fake one.
    class Counter {
    public:
        virtual ~Counter() = default;
        // Counts per second; 0 when the counter is unusable.
        virtual int64_t frequency() const = 0;
        virtual int64_t count() const = 0;
    };

    // The machine's monotonic counter (nanoseconds).
    static Counter& systemCounter();

    explicit PlayTimer(const Counter& counter = systemCounter()) : counter(&counter) {}

    // False when the frequency gives 0 counts per millisecond.
    bool Start();
    // Milliseconds since Start, rounded half up.
    uint32_t Elapsed() const;
    // True, and the mark moves to now, when at least 1000 ms have passed since the last mark.
    bool SecondTick();

private:
    const Counter* counter;
    int64_t ticksPerMs = 0;
    int64_t startCount = 0;
    uint32_t lastSecond = 0;
};

// A counter of whole milliseconds on a util::Clock (so a util::FakeClock drives a player).
class ClockCounter : public PlayTimer::Counter {
public:
    explicit ClockCounter(const util::Clock& clock) : clock(clock) {}
    int64_t frequency() const override { return 1000; }
    int64_t count() const override;

private:
    const util::Clock& clock;
};

} // namespace media
