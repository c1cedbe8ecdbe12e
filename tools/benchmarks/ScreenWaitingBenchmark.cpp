// The real main screen waiting for a unit that is not there, against the system's hidapi: every
// 2 s its engine gives up ("Unable to connect") and the screen replaces it with a fresh one that
// selects the main image again. Measures the longest stall of the message thread around these
// replacements, then the process's CPU time over a stretch of plain waiting. Prints figures
// beside their targets; it never fails on a time.
//   zendravel_screen_waiting_benchmark [seconds of waiting, default 60] [attempts watched for stalls, default 10]
#include "BootLoader.h"
#include "MainComponent.h"
#include "ProcessClock.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr double kStallTargetMs = 2.0;
constexpr double kWaitingTargetPercent = 1.0;

// A new engine starts its connection count-down from the top: a count that went up is a new attempt.
class AttemptCounter final : private juce::Timer
{
public:
    explicit AttemptCounter (MainContentComponent& screenToWatch) : screen (screenToWatch) { startTimer (250); }

    int attempts = 0;

private:
    void timerCallback() override
    {
        const int ticks = screen.bootLoader != nullptr ? screen.bootLoader->connectTicksLeft : 0;

        if (ticks > lastTicks)
            ++attempts;

        lastTicks = ticks;
    }

    MainContentComponent& screen;
    int lastTicks = 0;
};

// Keeps one message in flight on the message thread at all times and notes the gap between one
// being handled and the next: whatever else runs on the thread in between shows as a gap.
// The longest gap of each connection attempt is kept.
class StallProbe final
{
public:
    explicit StallProbe (MainContentComponent& screenToWatch) : screen (screenToWatch) {}

    void runFor (int attempts)
    {
        wanted = attempts;
        post();

        while (! stopped)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    std::vector<double> longestPerAttempt;

private:
    void post()
    {
        juce::MessageManager::callAsync ([this] { handle(); });
    }

    void handle()
    {
        const auto now = ProcessClock::Clock::now();
        const double gapMs = std::chrono::duration<double, std::milli> (now - last).count();
        last = now;

        const int ticks = screen.bootLoader != nullptr ? screen.bootLoader->connectTicksLeft : 0;

        // The replacement happens between two pings; its gap belongs to the attempt it ends.
        currentLongest = std::max (currentLongest, gapMs);

        if (ticks > lastTicks && seenFirstAttempt)
        {
            longestPerAttempt.push_back (currentLongest);
            currentLongest = 0.0;
        }

        seenFirstAttempt = seenFirstAttempt || ticks > lastTicks;
        lastTicks = ticks;

        // The queue hands out messages until it is empty, so the probe must stop posting by itself.
        stopped = (int) longestPerAttempt.size() >= wanted;

        if (! stopped)
            post();
    }

    MainContentComponent& screen;
    ProcessClock::Clock::time_point last = ProcessClock::Clock::now();
    double currentLongest = 0.0;
    int lastTicks = 0;
    int wanted = 0;
    bool seenFirstAttempt = false;
    bool stopped = false;
};

double median (std::vector<double> values)
{
    std::sort (values.begin(), values.end());
    return values[values.size() / 2];
}

const char* verdict (bool met)
{
    return met ? "met" : "MISSED";
}
} // namespace

int main (int argc, char** argv)
{
    std::setvbuf (stdout, nullptr, _IOLBF, 0);
    const int waitingSeconds = argc > 1 ? std::max (1, std::atoi (argv[1])) : 60;
    const int watchedAttempts = argc > 2 ? std::max (1, std::atoi (argv[2])) : 10;

    juce::ScopedJuceInitialiser_GUI juce;
    MainContentComponent screen;
    screen.setState (Part1Waiting);

    StallProbe probe (screen);
    probe.runFor (watchedAttempts);
    const auto longest = *std::max_element (probe.longestPerAttempt.begin(), probe.longestPerAttempt.end());
    std::printf ("message thread, longest stall per connection attempt (%d attempts): median %.3f ms, worst %.3f ms   (target: under %.1f ms) %s\n",
                 watchedAttempts, median (probe.longestPerAttempt), longest, kStallTargetMs, verdict (longest < kStallTargetMs));

    // Plain waiting, in the program's own blocking message loop, which can run only once.
    AttemptCounter counter (screen);
    const ProcessClock clock;
    juce::Timer::callAfterDelay (waitingSeconds * 1000, [] { juce::MessageManager::getInstance()->stopDispatchLoop(); });
    juce::MessageManager::getInstance()->runDispatchLoop();

    const auto percent = clock.percentOfOneCore();
    std::printf ("waiting for an absent unit, %.1f s (%d connection attempts): %.3f %% of one core   (target: under %.1f %%) %s\n",
                 clock.wallSeconds(), counter.attempts, percent, kWaitingTargetPercent, verdict (percent < kWaitingTargetPercent));
    return 0;
}
