#pragma once

#include <cstdint>

#include "util/DateTime.h"

namespace util {

// Where engines take time from, so that tests can move it.
class Clock {
public:
    virtual ~Clock();
    // Milliseconds on a counter that never goes back; its origin means nothing.
    virtual uint64_t monotonicMs() const = 0;
    // Local wall-clock date-time.
    virtual DateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    // Counts from the first use of any SystemClock in the process.
    uint64_t monotonicMs() const override;
    DateTime now() const override;
};

// The process-wide real clock.
Clock& systemClock();

class FakeClock : public Clock {
public:
    explicit FakeClock(uint64_t monotonicMs = 0, DateTime now = 0.0);

    uint64_t monotonicMs() const override { return monotonic; }
    DateTime now() const override;

    void setMonotonicMs(uint64_t ms) { monotonic = ms; }
    void setNow(DateTime t);
    // Moves both the counter and the date-time.
    void advanceMs(uint64_t ms);

private:
    uint64_t monotonic;
    // The date-time is kept as a base plus whole milliseconds so that many small steps
    // add up exactly.
    DateTime base;
    int64_t offsetMs = 0;
};

} // namespace util
