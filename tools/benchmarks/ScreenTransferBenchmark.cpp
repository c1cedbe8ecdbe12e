// The real main screen sending the main image to the simulated unit (no latency), from entering
// part 1's waiting step until the engine moves it to "part 1 done": the process's CPU time over
// the transfer, as a share of one core. No window is shown, so nothing is painted. Prints
// figures beside their targets; it never fails on a time.
//   zendravel_screen_transfer_benchmark [runs, default 3]
#include "MainComponent.h"
#include "ProcessClock.h"
#include "SimulatedUnit.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <cstdlib>

namespace
{
constexpr double kTransferTargetPercent = 10.0;

struct Transfer
{
    double seconds = 0.0;
    double percentOfOneCore = 0.0;
    bool complete = false;
};

Transfer transferMainImage (MainContentComponent& screen)
{
    zendravel::sim::SimulatedUnit::instance().configure ({});
    const ProcessClock clock;
    screen.setState (Part1Waiting);

    while (screen.state != Part1Done && clock.wallSeconds() < 300.0)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (100);

    Transfer transfer { clock.wallSeconds(), clock.percentOfOneCore(), screen.state == Part1Done };
    const auto report = zendravel::sim::SimulatedUnit::instance().report();
    transfer.complete = transfer.complete && report.records == 28812 && report.errors == 0;
    return transfer;
}
} // namespace

int main (int argc, char** argv)
{
    std::setvbuf (stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max (1, std::atoi (argv[1])) : 3;
    juce::ScopedJuceInitialiser_GUI juce;

    for (int run = 1; run <= runs; ++run)
    {
        MainContentComponent screen;
        const auto transfer = transferMainImage (screen);

        if (! transfer.complete)
        {
            std::printf ("transfer %d did not complete correctly\n", run);
            return 1;
        }

        std::printf ("main image transfer %d through the screen: %.2f s, %.2f %% of one core   (target: under %.0f %%) %s\n",
                     run, transfer.seconds, transfer.percentOfOneCore, kTransferTargetPercent,
                     transfer.percentOfOneCore < kTransferTargetPercent ? "met" : "MISSED");
    }

    return 0;
}
