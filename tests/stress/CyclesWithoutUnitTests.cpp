// Connection attempts with no unit attached, against the system's own hidapi: what the screen
// does every 2 s for as long as the person takes to plug the unit in. Each attempt must give
// back everything it took, or an hour of waiting would pile up threads, descriptors or memory.
#include "BootLoader.h"
#include "MainComponent.h"
#include "ProcessFigures.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <chrono>

namespace
{
// One attempt as the screen makes it, back to back rather than 2 s apart: engine made, image
// selected, the single open fails and the transfer thread ends, engine deleted.
void attemptToConnect (MainContentComponent& owner, int attempt)
{
    BootLoader engine (&owner, kVendorId, kProductId);

    if (attempt % 2 == 0)
        engine.LoadMainHexFile();
    else
        engine.LoadCompHexFile();

    ASSERT_TRUE (engine.waitForThreadToExit (5000));
    EXPECT_FALSE (engine.deviceOpen);

    // Timer messages posted meanwhile are handled, as the program's message loop would.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (0);
}

TEST (ResourceCycles, AThousandAttemptsWithoutAUnitLeaveNothingBehind)
{
    using Clock = std::chrono::steady_clock;
    MainContentComponent owner;

    // The first engines bring up what lives for the whole process: JUCE's timer thread and the
    // allocator's pools. Only what comes after them must level off.
    constexpr int warmUp = 20, attempts = 1000;

    for (int attempt = 0; attempt < warmUp; ++attempt)
        attemptToConnect (owner, attempt);

    const auto before = ProcessFigures::now();
    const auto start = Clock::now();

    for (int attempt = 0; attempt < attempts; ++attempt)
        attemptToConnect (owner, attempt);

    const auto seconds = std::chrono::duration<double> (Clock::now() - start).count();
    expectNothingKept ("attempts without a unit", attempts, before, ProcessFigures::now(), seconds);
    EXPECT_EQ (owner.currentStatus, "") << "no attempt lived long enough to report";
}
} // namespace
