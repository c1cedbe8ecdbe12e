// The engine's time-outs against the simulated unit. These wait for real seconds, so each is
// its own test (ctest runs them side by side in separate processes) and each checks all
// that its wait can show.
#include "EngineFixture.h"

using zendravel::sim::Config;

namespace
{
constexpr const char* kNoResponse = "There was no response from device";

juce::String joined (const std::vector<juce::String>& texts)
{
    return juce::StringArray (texts.data(), (int) texts.size()).joinIntoString (" | ");
}

TEST_F (EngineAgainstUnit, WithNoUnitItSaysUnableToConnectOnceAfterTwoSeconds)
{
    // The unit turns up right after the first engine's one attempt: only the next engine finds it.
    Config config;
    config.absentOpens = 1;
    startEngine (config, Image::main);

    ASSERT_TRUE (waitForStatus ("Unable to connect", 5000));
    const auto elapsed = msSinceEngineStart();
    EXPECT_GE (elapsed, 1900.0) << "the 40th tick of 50 ms";
    EXPECT_LE (elapsed, 3000.0);

    pumpFor (1000);
    EXPECT_EQ (statuses, std::vector<juce::String> { "Unable to connect" });
    EXPECT_EQ (owner->asyncUpdates, 1);
    EXPECT_TRUE (owner->stateChanges.empty());

    // The one attempt released the library and left no handle behind.
    EXPECT_EQ (unit().openAttempts(), 1);
    EXPECT_EQ (unit().exitCalls(), 1);
    EXPECT_EQ (unit().closeCalls(), 0);
    EXPECT_FALSE (engine->isThreadRunning());
    EXPECT_FALSE (engine->deviceOpen);
    EXPECT_EQ (engine->hidHolder->deviceHandle, nullptr);

    // The screen's next attempt is a new engine.
    deleteEngine();
    engine = std::make_unique<BootLoader> (owner.get(), kVendorId, kProductId);
    engine->LoadMainHexFile();
    EXPECT_TRUE (waitForStatus ("Device connected", 1000));
    EXPECT_EQ (unit().openAttempts(), 2);
    EXPECT_EQ (unit().sessionCount(), 1);
}

TEST_F (EngineAgainstUnit, AnUnansweredQueryGoesOutThirtyTimesThenTimesOut)
{
    auto config = Config {};
    config.silentAfterFrames = 0;
    startEngine (config, Image::main);
    startExchange (Part1Updating);

    ASSERT_TRUE (waitForStatus (kNoResponse, 10000)) << joined (statuses);
    const auto elapsed = msSinceExchangeStart();
    EXPECT_GE (elapsed, 29 * 200.0) << "29 intervals after the first transmission";
    EXPECT_LE (elapsed, 6600.0);
    EXPECT_EQ (unit().report().frames, 30);

    pumpFor (600);
    EXPECT_EQ (unit().report().commands, std::vector<int> (30, CommandQueryDevice)) << "nothing more is sent";
    EXPECT_EQ (owner->currentStatus, kNoResponse);
    EXPECT_EQ (owner->state, Part1Updating);
    EXPECT_TRUE (owner->stateChanges.empty());
    EXPECT_TRUE (engine->isThreadRunning()) << "the engine keeps listening";
}

TEST_F (EngineAgainstUnit, AReplyAfterTheTimeOutCarriesTheExchangeOn)
{
    // Deaf to the first 29 queries; the answer to the 30th comes 600 ms late, after the
    // engine has given up on the query.
    auto config = Config {};
    config.bootloaderKinds = { 2 };
    config.deafForFrames = 29;
    config.delayReplyNumber = 1;
    config.delayReplyMs = 600;
    startEngine (config, Image::comp);

    std::vector<int> commands (29, CommandQueryDevice);
    const auto oneTransfer = commandsOfOneTransfer (Image::comp);
    commands.insert (commands.end(), oneTransfer.begin(), oneTransfer.end());
    expectWholeImageSent (kPart2, commands);

    const auto noResponse = std::find (statuses.begin(), statuses.end(), kNoResponse);
    ASSERT_TRUE (noResponse != statuses.end()) << joined (statuses);
    EXPECT_TRUE (std::find (noResponse, statuses.end(), "Programming...") != statuses.end()) << joined (statuses);
}

TEST_F (EngineAgainstUnit, UnpluggedWhileProgrammingItTimesOutAfterTenSeconds)
{
    // Unplugged once program frame 100 has arrived: its reply is lost, its resends fail.
    constexpr int programFramesReceived = 100;
    auto config = Config {};
    config.bootloaderKinds = { 2 };
    config.unplugAfterFrames = 2 + programFramesReceived;
    startEngine (config, Image::comp);
    startExchange (Part2Updating);

    ASSERT_TRUE (pumpUntil ([] { return unit().report().frames == 2 + programFramesReceived; }, 10000));
    const auto unplugged = Clock::now();

    ASSERT_TRUE (waitForStatus (kNoResponse, 15000)) << joined (statuses);
    const auto elapsed = std::chrono::duration<double, std::milli> (Clock::now() - unplugged).count();
    EXPECT_GE (elapsed, 9900.0) << "three transmissions 5000 ms apart";
    EXPECT_LE (elapsed, 11000.0);

    pumpFor (300);
    EXPECT_EQ (owner->currentStatus, kNoResponse);
    const auto frames = recordsPerProgramFrame (Image::comp);
    const auto acknowledgedRecords = std::accumulate (frames.begin(), frames.begin() + programFramesReceived - 1, 0);
    EXPECT_EQ (owner->progressValue, acknowledgedRecords / 1916.0);
    EXPECT_EQ (owner->state, Part2Updating);
    EXPECT_TRUE (owner->stateChanges.empty());
    EXPECT_TRUE (engine->isThreadRunning()) << "runs on until deleted";
    EXPECT_EQ (unit().openAttempts(), 1) << "never reopens";
    EXPECT_EQ (unit().report().frames, 2 + programFramesReceived);
}
} // namespace
