// Connection attempts that find the simulated unit and are abandoned in mid-exchange, as when
// the person retries or quits during a transfer. Each must close the device and give back its
// thread, descriptors and memory.
#include "EngineFixture.h"
#include "ProcessFigures.h"

namespace
{
using ResourceCycles = EngineAgainstUnit;

TEST_F (ResourceCycles, TwoHundredAttemptsDeletedInMidExchangeLeaveNothingBehind)
{
    zendravel::sim::Config config;
    config.bootloaderKinds = { 1 };

    // The engine is deleted after the unit has taken 1 to 6 frames: right after command 1,
    // during the erase, or a few program frames in, with a reply queued or not.
    const auto attempt = [&] (int number) {
        startEngine (config, Image::main);
        startExchange (Part1Updating);
        const int frames = 1 + number % 6;
        ASSERT_TRUE (pumpUntil ([frames] { return unit().report().frames >= frames; }, 5000));
        deleteEngine();
        ASSERT_FALSE (unit().isOpen());
        ASSERT_EQ (unit().handleMisuses(), 0);
    };

    constexpr int warmUp = 20, attempts = 200;

    for (int number = 0; number < warmUp; ++number)
        attempt (number);

    const auto before = ProcessFigures::now();
    const auto start = Clock::now();

    for (int number = 0; number < attempts; ++number)
        attempt (number);

    const auto seconds = std::chrono::duration<double> (Clock::now() - start).count();
    expectNothingKept ("attempts deleted in mid-exchange", attempts, before, ProcessFigures::now(), seconds);
}
} // namespace
