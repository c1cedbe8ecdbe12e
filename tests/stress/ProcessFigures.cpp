#include "ProcessFigures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace
{
int entriesIn (const char* directory)
{
    int count = 0;

    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator (directory))
        ++count;

    return count;
}

long residentMemoryKiB()
{
    std::ifstream statm ("/proc/self/statm");
    long sizePages = 0, residentPages = 0;
    statm >> sizePages >> residentPages;
    return residentPages * (sysconf (_SC_PAGESIZE) / 1024);
}

constexpr long kAllowedGrowthKiB = 1024;
} // namespace

ProcessFigures ProcessFigures::now()
{
    ProcessFigures figures;
    figures.threads = entriesIn ("/proc/self/task");
    // The directory iterator's own descriptor is open while it counts, and is not the process's.
    figures.openFiles = entriesIn ("/proc/self/fd") - 1;
    figures.residentKiB = residentMemoryKiB();
    return figures;
}

std::ostream& operator<< (std::ostream& out, const ProcessFigures& figures)
{
    return out << figures.threads << " threads, " << figures.openFiles << " open files, "
               << figures.residentKiB << " KiB resident";
}

void expectNothingKept (const char* what, int cycles, const ProcessFigures& before, const ProcessFigures& after, double seconds)
{
    std::cout << what << ": " << cycles << " cycles in " << seconds << " s\n"
              << "  before: " << before << "\n"
              << "  after:  " << after << "\n"
              << "  resident growth: " << after.residentKiB - before.residentKiB << " KiB" << std::endl;

    EXPECT_EQ (after.threads, before.threads);
    EXPECT_EQ (after.openFiles, before.openFiles);
    EXPECT_LE (after.residentKiB - before.residentKiB, kAllowedGrowthKiB);
}
