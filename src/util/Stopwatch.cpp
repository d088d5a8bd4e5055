#include "util/Stopwatch.h"

namespace util {

Stopwatch::Stopwatch() : start(Counter::now()) {}

void Stopwatch::restart() {
    start = Counter::now();
}

double Stopwatch::elapsedMs() const {
    return std::chrono::duration<double, std::milli>(Counter::now() - start).count();
}

} // namespace util
