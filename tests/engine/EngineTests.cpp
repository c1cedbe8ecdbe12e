// The transfer engine against the simulated unit: whole transfers, refusals, duplicates,
// unusual report shapes, and deletion while the device opens or in mid-exchange.
#include "EngineFixture.h"
#include "ProcessFigures.h"

using zendravel::sim::Config;

namespace
{
Config unitWithBootloader (int kind)
{
    Config config;
    config.bootloaderKinds = { kind };
    return config;
}

TEST (Images, ReadIndependentlyTheyHoldWhatTheUnitMustEndUpWith)
{
    const struct
    {
        Image image;
        int lines;
        std::size_t dataBytes;
        int frames;
    } cases[] = {
        { Image::main, 28812, 455724, 14441 },
        { Image::comp, 1916, 26816, 987 },
    };

    for (const auto& c : cases)
    {
        const auto& image = parsedImage (c.image);
        EXPECT_EQ (image.lines, c.lines);
        EXPECT_EQ (image.records, c.lines);
        EXPECT_EQ (image.data.size(), c.dataBytes);
        EXPECT_TRUE (image.endOfFile);
        EXPECT_EQ (programFrames (c.image), c.frames);
    }
}

TEST_F (EngineAgainstUnit, SendsTheWholeMainImage)
{
    startEngine (unitWithBootloader (1), Image::main);
    expectWholeImageSent (kPart1, commandsOfOneTransfer (Image::main));
}

TEST_F (EngineAgainstUnit, SendsTheWholeCompImage)
{
    startEngine (unitWithBootloader (2), Image::comp);
    expectWholeImageSent (kPart2, commandsOfOneTransfer (Image::comp));
}

TEST_F (EngineAgainstUnit, RefusesAWrongDeviceOrBootloaderAndSendsNothingMore)
{
    const struct
    {
        int deviceKind;
        int bootloaderKind;
        Part part;
        const char* text;
    } cases[] = {
        { 3, 1, kPart1, "Wrong device." },
        { 0, 2, kPart2, "Wrong device." },
        { 0x82, 1, kPart1, "Wrong device." },
        { 2, 2, kPart1, "Wrong boot loader." },
        { 2, 1, kPart2, "Wrong boot loader." },
        { 2, 0, kPart1, "Wrong boot loader." },
        { 2, 3, kPart2, "Wrong boot loader." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "device kind " << c.deviceKind << ", bootloader kind " << c.bootloaderKind);
        auto config = unitWithBootloader (c.bootloaderKind);
        config.deviceKind = c.deviceKind;
        startEngine (config, c.part.image);
        startExchange (c.part.updating);

        ASSERT_TRUE (waitForStatus (c.text, 3000)) << owner->currentStatus;
        pumpFor (300);
        EXPECT_EQ (owner->currentStatus, c.text);
        EXPECT_EQ (unit().report().commands, std::vector<int> { CommandQueryDevice });
        EXPECT_TRUE (owner->stateChanges.empty());
        EXPECT_EQ (owner->progressValue, -1.0);
    }
}

TEST_F (EngineAgainstUnit, CarriesOnThroughDuplicateReplies)
{
    const auto frames = (std::size_t) programFrames (Image::comp);
    const std::vector<int> oneTransfer = commandsOfOneTransfer (Image::comp);

    // A second reply 1 sends the erase again; a second reply 2 sends the first program frame
    // again; a second program reply only lets the next frame go before its reply comes.
    std::vector<int> eraseTwice { 1, 2, 2 };
    eraseTwice.insert (eraseTwice.end(), frames + 1, 3);
    std::vector<int> firstFrameTwice { 1, 2 };
    firstFrameTwice.insert (firstFrameTwice.end(), frames + 1, 3);

    const struct
    {
        int duplicatedReply;
        std::vector<int> commands;
    } cases[] = {
        { 1, eraseTwice },
        { 2, firstFrameTwice },
        { 10, oneTransfer },
        { 2 + (int) frames, oneTransfer }, // the reply to the last frame
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "reply " << c.duplicatedReply << " twice");
        auto config = unitWithBootloader (2);
        config.duplicateReplyNumber = c.duplicatedReply;
        startEngine (config, Image::comp);
        expectWholeImageSent (kPart2, c.commands);
    }
}

struct ReportShape
{
    const char* name;
    void (*shape) (Config&);
};

void PrintTo (const ReportShape& shape, std::ostream* out)
{
    *out << shape.name;
}

// Each shape is its own test, so ctest runs them side by side.
class ReportShapes : public EngineAgainstUnit,
                     public testing::WithParamInterface<ReportShape>
{
};

TEST_P (ReportShapes, RepliesInThisShapeCarryTheWholeImage)
{
    auto config = unitWithBootloader (2);
    GetParam().shape (config);
    startEngine (config, Image::comp);
    expectWholeImageSent (kPart2, commandsOfOneTransfer (Image::comp));
}

INSTANTIATE_TEST_SUITE_P (
    EngineAgainstUnit,
    ReportShapes,
    testing::Values (
        // Reply 1's escapes fall at the ends of reports, so the escape must carry over.
        ReportShape { "CutIntoTwoByteReports", [] (Config& c) { c.splitReplyBytes = 2; } },
        ReportShape { "PaddedTo64Bytes", [] (Config& c) { c.padReplies = true; } },
        ReportShape { "NoiseInFront", [] (Config& c) { c.garbageBytesBeforeReplies = 60; } },
        ReportShape { "A100ByteReportInFront", [] (Config& c) { c.oversizeReportBytes = 100; } },
        ReportShape { "A300ByteReportInFront", [] (Config& c) { c.oversizeReportBytes = 300; } },
        ReportShape { "ThreeMsLatency", [] (Config& c) { c.latencyMs = 3; } }),
    [] (const testing::TestParamInfo<ReportShape>& info) { return std::string (info.param.name); });

// The screen may delete an engine whose transfer thread is still inside hid_open. Whether
// that open then finds the unit or not, the thread ends without a pass of its loop, leaves
// no handle or thread behind and nothing reaches the owner.
TEST_F (EngineAgainstUnit, DeletedWhileItsThreadIsStillOpeningTheDeviceItLeavesNothing)
{
    // The framework starts its timer thread from the message loop once a first timer runs, and
    // keeps it; it is started before the threads are counted.
    struct IdleTimer final : juce::Timer
    {
        void timerCallback() override {}
    } idleTimer;
    idleTimer.startTimer (1000);
    pumpFor (20);
    idleTimer.stopTimer();

    const struct
    {
        const char* what;
        int absentOpens;
        int sessions;
        int closes;
    } cases[] = {
        { "the open finds the unit", 0, 1, 1 },
        { "the open finds no unit", 1, 0, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto before = ProcessFigures::now();
        Config config;
        config.openLatencyMs = 300;
        config.absentOpens = c.absentOpens;
        startEngine (config, Image::main);
        pumpFor (50);
        ASSERT_EQ (unit().openAttempts(), 0) << "the open is still under way";

        // A frame armed now would go out on the loop's first pass, so none must come.
        ASSERT_TRUE (engine->SendCommand (CommandQueryDevice, 30, 200));
        const auto deletionStart = Clock::now();
        deleteEngine();
        EXPECT_LT (Clock::now() - deletionStart, std::chrono::seconds (1));

        EXPECT_EQ (unit().openAttempts(), 1);
        EXPECT_EQ (unit().sessionCount(), c.sessions);
        EXPECT_EQ (unit().closeCalls(), c.closes);
        EXPECT_EQ (unit().exitCalls(), 1);
        EXPECT_FALSE (unit().isOpen());
        EXPECT_EQ (unit().report().frames, 0);
        EXPECT_EQ (unit().handleMisuses(), 0);

        pumpFor (300);
        EXPECT_TRUE (owner->currentStatus.isEmpty()) << owner->currentStatus;
        EXPECT_EQ (owner->asyncUpdates, 0);
        EXPECT_TRUE (owner->stateChanges.empty());
        EXPECT_EQ (owner->progressValue, 0.0);

        const auto after = ProcessFigures::now();
        EXPECT_EQ (after.threads, before.threads);
        EXPECT_EQ (after.openFiles, before.openFiles);
    }
}

TEST_F (EngineAgainstUnit, DeletedWhileAFrameAwaitsItsReplyItLeavesTheOwnerAlone)
{
    auto config = unitWithBootloader (1);
    config.delayReplyNumber = 50;
    config.delayReplyMs = 60000;
    startEngine (config, Image::main);
    startExchange (Part1Updating);

    ASSERT_TRUE (pumpUntil ([] { return unit().report().frames >= 50; }, 10000));
    pumpFor (300);
    ASSERT_EQ (unit().report().frames, 50) << "the engine waits for reply 50";

    const auto status = owner->currentStatus;
    const auto progress = owner->progressValue;
    const auto updates = owner->asyncUpdates;
    EXPECT_EQ (status, "Programming...");
    EXPECT_EQ (progress, 47 * 2 / 28812.0) << "replies to 47 program frames have come";

    const auto deletionStart = Clock::now();
    deleteEngine();
    EXPECT_LT (Clock::now() - deletionStart, std::chrono::milliseconds (100));
    EXPECT_FALSE (unit().isOpen());
    EXPECT_EQ (unit().closeCalls(), 1);
    EXPECT_EQ (unit().exitCalls(), 1);

    pumpFor (300);
    EXPECT_EQ (owner->currentStatus, status);
    EXPECT_EQ (owner->progressValue, progress);
    EXPECT_EQ (owner->asyncUpdates, updates);
    EXPECT_EQ (owner->state, Part1Updating);
    EXPECT_TRUE (owner->stateChanges.empty());
    EXPECT_EQ (unit().handleMisuses(), 0);
}
} // namespace
