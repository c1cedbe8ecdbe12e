#pragma once

#include <sys/resource.h>

#include <chrono>

// CPU and wall time of this process, for figures given as a share of one core.
struct ProcessClock
{
    using Clock = std::chrono::steady_clock;

    static double cpuSeconds()
    {
        rusage usage {};
        getrusage (RUSAGE_SELF, &usage);
        const auto seconds = [] (const timeval& t) { return (double) t.tv_sec + (double) t.tv_usec / 1e6; };
        return seconds (usage.ru_utime) + seconds (usage.ru_stime);
    }

    ProcessClock() = default;

    double wallSeconds() const { return std::chrono::duration<double> (Clock::now() - wallStart).count(); }
    double percentOfOneCore() const { return 100.0 * (cpuSeconds() - cpuStart) / wallSeconds(); }

    const double cpuStart = cpuSeconds();
    const Clock::time_point wallStart = Clock::now();
};
