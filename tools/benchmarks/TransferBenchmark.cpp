// Measures the transfer engine against the simulated unit with no latency: the whole main
// image, compared with the floor that the loop's 1 ms pause sets (one pass per frame), and
// the selection of the main image, which counts its lines on the message thread.
// Prints figures beside their targets; it never fails on a time.
#include "BootLoader.h"
#include "MainComponent.h"
#include "SimulatedUnit.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kMainImageFrames = 14441;
constexpr double kFloorSeconds = kMainImageFrames * 0.001;
constexpr double kTransferTargetRatio = 1.25;
constexpr double kSelectionTargetMs = 2.0;
constexpr int kSelections = 50;

double secondsSince (Clock::time_point start)
{
    return std::chrono::duration<double> (Clock::now() - start).count();
}

double median (std::vector<double> values)
{
    std::sort (values.begin(), values.end());
    const auto middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Pumps the message thread until done() holds; false after limitSeconds.
template <typename Condition>
bool pumpUntil (Condition done, double limitSeconds)
{
    const auto start = Clock::now();

    while (! done())
    {
        if (secondsSince (start) > limitSeconds)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    return true;
}

// One main-image transfer, from command 1 until the engine moves the owner to the done
// state, as the screen would start and see it. Returns seconds, or a negative value.
double timeOneTransfer()
{
    zendravel::sim::SimulatedUnit::instance().configure ({});
    MainContentComponent owner;
    auto engine = std::make_unique<BootLoader> (&owner, kVendorId, kProductId);
    engine->LoadMainHexFile();

    if (! pumpUntil ([&owner] { return owner.currentStatus == "Device connected"; }, 5.0))
        return -1.0;

    owner.state = Part1Updating;
    const auto start = Clock::now();
    engine->SendCommand (CommandQueryDevice, 30, 200);

    if (! pumpUntil ([&owner] { return owner.state == Part1Done; }, 120.0))
        return -1.0;

    const auto seconds = secondsSince (start);
    const auto report = zendravel::sim::SimulatedUnit::instance().report();

    if (report.records != 28812 || report.errors != 0 || owner.progressValue != 1.0)
        return -1.0;

    return seconds;
}

// Milliseconds of one LoadMainHexFile on the calling thread, median of kSelections.
double medianSelectionMs (juce::uint32& lines)
{
    zendravel::sim::Config absent;
    absent.absentOpens = 1;
    zendravel::sim::SimulatedUnit::instance().configure (absent);

    MainContentComponent owner;
    BootLoader engine (&owner, kVendorId, kProductId);
    std::vector<double> times;

    for (int i = 0; i < kSelections; ++i)
    {
        const auto start = Clock::now();
        engine.LoadMainHexFile();
        times.push_back (secondsSince (start) * 1000.0);
    }

    lines = engine.hexManager.totalLines;
    return median (times);
}
} // namespace

int main (int argc, char** argv)
{
    std::setvbuf (stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max (1, std::atoi (argv[1])) : 3;
    juce::ScopedJuceInitialiser_GUI juce;

    std::vector<double> transfers;

    for (int run = 1; run <= runs; ++run)
    {
        const auto seconds = timeOneTransfer();

        if (seconds < 0)
        {
            std::printf ("transfer %d did not complete correctly\n", run);
            return 1;
        }

        std::printf ("transfer %d: %.3f s\n", run, seconds);
        transfers.push_back (seconds);
    }

    const auto transfer = median (transfers);
    const auto framesPerSecond = (kMainImageFrames + 2) / transfer;
    const auto ratio = transfer / kFloorSeconds;

    juce::uint32 lines = 0;
    const auto selectionMs = medianSelectionMs (lines);

    std::printf ("main image transfer (median of %d): %.3f s, %.0f frames/s\n", runs, transfer, framesPerSecond);
    std::printf ("floor (%d frames x 1 ms pause):    %.3f s\n", kMainImageFrames, kFloorSeconds);
    std::printf ("ratio to floor:                    %.3f   (target: at most %.2f) %s\n",
                 ratio, kTransferTargetRatio, ratio <= kTransferTargetRatio ? "met" : "MISSED");
    std::printf ("LoadMainHexFile, %u lines (median of %d): %.3f ms   (target: under %.1f ms) %s\n",
                 (unsigned) lines, kSelections, selectionMs, kSelectionTargetMs, selectionMs < kSelectionTargetMs ? "met" : "MISSED");
    return 0;
}
