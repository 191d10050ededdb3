#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>

// The wall time of one call of work, in seconds.
inline double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The shortest of runs calls of work, in seconds: the run least disturbed by
// the rest of the machine.
inline double bestSeconds(int runs, const std::function<void()>& work) {
    double best = std::numeric_limits<double>::infinity();
    for (int run = 0; run < runs; ++run) {
        best = std::min(best, secondsOf(work));
    }
    return best;
}
