#include "EngineFixture.h"

#include <thread>

using Dispatch = EngineTest;

namespace
{
enum class Image
{
    none,
    main,
    comp
};
} // namespace

struct QueryReplyCase
{
    Image image;
    unsigned char deviceKind, bootloaderKind;
    const char* status;
};

TEST_F (Dispatch, QueryReplyChecksDeviceAndBootloaderKind)
{
    const QueryReplyCase cases[] = {
        { Image::main, 2, 1, "Erasing..." },
        { Image::comp, 2, 2, "Erasing..." },
        { Image::comp, 2, 1, "Wrong boot loader." },
        { Image::main, 2, 2, "Wrong boot loader." },
        { Image::main, 2, 0, "Wrong boot loader." },
        { Image::comp, 2, 3, "Wrong boot loader." },
        { Image::none, 2, 1, "Wrong boot loader." },
        { Image::main, 3, 1, "Wrong device." },
        { Image::main, 0x82, 1, "Wrong device." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.status) + " " + juce::String (c.deviceKind) + "/" + juce::String (c.bootloaderKind));
        engine = std::make_unique<BootLoader> (&owner, kVendorId, kProductId);
        ASSERT_TRUE (engine->waitForThreadToExit (5000));

        if (c.image == Image::main)
            engine->LoadMainHexFile();
        else if (c.image == Image::comp)
            engine->LoadCompHexFile();

        ASSERT_TRUE (engine->SendCommand (1, 30, 200));
        Receive (ReplyFrame ({ 0x01, c.deviceKind, c.bootloaderKind }));

        EXPECT_EQ (TakeStatus(), c.status);
        const bool erasing = juce::String (c.status) == "Erasing...";
        EXPECT_EQ (engine->lastCommand, erasing ? 2 : 1);
        EXPECT_EQ (engine->retriesLeft, erasing ? 3 : 0);

        if (erasing)
        {
            EXPECT_EQ (engine->retryIntervalMs, 5000);
            EXPECT_EQ (OutFrame(), (Bytes { 0x00, 0x01, 0x02, 0x42, 0x20, 0x04 }));
        }
    }
}

TEST_F (Dispatch, EchoedQueryIsAWrongDevice)
{
    engine->LoadMainHexFile();
    ASSERT_TRUE (engine->SendCommand (1, 30, 200));
    Receive (Bytes (engine->outFrame + 1, engine->outFrame + engine->outFrameLength));
    EXPECT_EQ (TakeStatus(), "Wrong device.");
}

TEST_F (Dispatch, ReadCrcReplyShowsBothBytesAsSignedDecimals)
{
    const std::pair<Bytes, const char*> cases[] = {
        { { 0x04, 0x00, 0x00 }, "Verification passed successfully" },
        { { 0x04, 0x00, 0x01 }, "CRC: 0.1" },
        { { 0x04, 0xFF, 0x0A }, "CRC: -1.10" },
        { { 0x04, 0x80, 0x7F }, "CRC: -128.127" },
    };

    for (const auto& [payload, status] : cases)
    {
        Receive (ReplyFrame (payload));
        EXPECT_EQ (TakeStatus(), status);
        EXPECT_EQ (engine->retriesLeft, 0);
    }
}

TEST_F (Dispatch, AnyGoodFrameEndsTheRetransmissionSilently)
{
    for (unsigned char code : { 0x00, 0x05, 0xFF })
    {
        SCOPED_TRACE ((int) code);
        ASSERT_TRUE (engine->SendCommand (1, 30, 200));
        engine->TransmitTask();
        ASSERT_EQ (engine->sendState, AwaitingReply);

        Receive (ReplyFrame ({ code }));

        EXPECT_EQ (engine->sendState, Ready);
        EXPECT_EQ (engine->retriesLeft, 0);
        EXPECT_FALSE (engine->inFrameComplete);
        EXPECT_FALSE (engine->statusChanged);

        // No time-out follows: the frame in flight was answered.
        engine->TransmitTask();
        Receive ({});
        EXPECT_FALSE (engine->statusChanged);
    }
}

TEST_F (Dispatch, UsedUpTransmissionsReportNoResponseForCommandsOneToFour)
{
    for (char command : { (char) 1, (char) 2, (char) 4, (char) 5 })
    {
        SCOPED_TRACE ((int) command);
        ASSERT_TRUE (engine->SendCommand (command, 1, 200));
        engine->TransmitTask();
        EXPECT_EQ (engine->retriesLeft, 0);
        EXPECT_FALSE (engine->replyTimedOut);

        engine->TransmitTask();
        EXPECT_TRUE (engine->replyTimedOut);
        EXPECT_EQ (engine->sendState, Ready);

        Receive ({});
        EXPECT_FALSE (engine->replyTimedOut);
        EXPECT_EQ (engine->statusChanged, command != 5);
        TakeStatus();
    }
}

TEST_F (Dispatch, RetransmissionWaitsForTheInterval)
{
    ASSERT_TRUE (engine->SendCommand (1, 2, 30));
    engine->TransmitTask();
    engine->TransmitTask();
    EXPECT_EQ (engine->retriesLeft, 1);

    std::this_thread::sleep_for (std::chrono::milliseconds (45));
    engine->TransmitTask();
    EXPECT_EQ (engine->retriesLeft, 0);
    EXPECT_EQ (engine->sendState, AwaitingReply);
}

TEST_F (Dispatch, LateReplyAfterTimeOutCarriesTheExchangeOn)
{
    engine->LoadMainHexFile();
    ASSERT_TRUE (engine->SendCommand (2, 1, 5000));
    engine->TransmitTask();
    engine->TransmitTask();
    Receive ({});
    EXPECT_EQ (TakeStatus(), "There was no response from device");

    Receive (ReplyFrame ({ 0x02 }));
    EXPECT_EQ (TakeStatus(), "Programming...");
    EXPECT_EQ (engine->lastCommand, 3);
    EXPECT_EQ (engine->retriesLeft, 3);
    EXPECT_EQ (engine->hexManager.currentRecord, 2u);
}

TEST_F (Dispatch, DuplicateReplyTwoRestartsTheImage)
{
    engine->LoadMainHexFile();
    Receive (ReplyFrame ({ 0x02 }));
    const auto firstFrame = OutFrame();

    for (int i = 0; i < 3; ++i)
        Receive (ReplyFrame ({ 0x03 }));
    EXPECT_EQ (engine->hexManager.currentRecord, 8u);

    Receive (ReplyFrame ({ 0x02 }));
    EXPECT_EQ (OutFrame(), firstFrame);
    EXPECT_EQ (engine->hexManager.currentRecord, 2u);
}

// A unit that acknowledges every frame at once: reply 2, then reply 3 until the engine
// sends no further frame.
class ImageTransfer : public EngineTest
{
protected:
    int ProgramWholeImage()
    {
        Receive (ReplyFrame ({ 0x02 }));
        int frames = 0;

        while (engine->outFrameLength > 0)
        {
            ++frames;
            lastFrame = OutFrame();
            Receive (ReplyFrame ({ 0x03 }));

            if (frames == 1)
                progressAfterFirstReply = engine->pendingProgress;
        }

        return frames;
    }

    Bytes lastFrame;
    double progressAfterFirstReply = 0.0;
};

struct ImageCase
{
    bool mainImage;
    int frames;
    AppState updating, done;
};

TEST_F (ImageTransfer, WholeImageEndsWithProgressOneAndTheDoneState)
{
    for (const auto& c : { ImageCase { true, 14441, Part1Updating, Part1Done }, ImageCase { false, 987, Part2Updating, AllDone } })
    {
        SCOPED_TRACE (c.frames);
        engine = std::make_unique<BootLoader> (&owner, kVendorId, kProductId);
        ASSERT_TRUE (engine->waitForThreadToExit (5000));
        c.mainImage ? engine->LoadMainHexFile() : engine->LoadCompHexFile();
        owner.state = c.updating;
        owner.stateChanges.clear();
        owner.progressAtStateChanges.clear();
        owner.progressValue = -1.0;

        EXPECT_EQ (ProgramWholeImage(), c.frames);
        EXPECT_DOUBLE_EQ (progressAfterFirstReply, 2.0 / engine->hexManager.totalLines);
        EXPECT_EQ (engine->pendingProgress, 1.0);
        EXPECT_TRUE (engine->programmingFinished);

        // The last frame carries the last data record and the end-of-file record.
        const auto payload = PayloadOf (lastFrame);
        ASSERT_GT (payload.size(), 1 + 5 + 5u);
        EXPECT_EQ (payload.size(), 1 + (5 + payload[1]) + 5u);
        EXPECT_EQ (payload[4], 0x00) << "record type of the first record";
        EXPECT_EQ (Bytes (payload.end() - 5, payload.end()), (Bytes { 0x00, 0x00, 0x00, 0x01, 0xFF }));

        engine->timerCallback();
        EXPECT_EQ (owner.stateChanges, std::vector<AppState> { c.done });
        EXPECT_EQ (owner.progressAtStateChanges, std::vector<double> { 1.0 });
        EXPECT_EQ (owner.currentStatus, "Not a valid hex file.");
        EXPECT_FALSE (engine->programmingFinished);
    }
}

TEST_F (ImageTransfer, FinishedImageOutsideTheUpdatingStatesOnlyClearsTheFlag)
{
    engine->LoadCompHexFile();
    ProgramWholeImage();
    owner.state = Part2Waiting;

    engine->timerCallback();
    EXPECT_TRUE (owner.stateChanges.empty());
    EXPECT_FALSE (engine->programmingFinished);
    EXPECT_EQ (owner.progressValue, 1.0);
}

// An image with a line that is no record, or a reply 3 before any program frame, stops the
// exchange with the reader's text; it is not taken for a finished update.
TEST_F (ImageTransfer, RefusedFrameBeforeTheImageEndIsNotAFinishedUpdate)
{
    const char* const images[] = {
        ":0100000001fe\r\n:0100010002fc\r\nbad line\r\n:00000001ff\r\n",
        ":0100000001fe\r\nbad line\r\n:00000001ff\r\n",
        ":0100000001fe\r\n:0100010002fc\r\n:\r\n",
    };

    for (const auto* image : images)
    {
        SCOPED_TRACE (image);
        engine->programmingFinished = false;
        SelectImage (image);
        ProgramWholeImage();

        EXPECT_FALSE (engine->programmingFinished);
        EXPECT_LT (engine->pendingProgress, 1.0);
        EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
    }

    engine->LoadMainHexFile();
    Receive (ReplyFrame ({ 0x03 }));
    EXPECT_FALSE (engine->programmingFinished);
    EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
}

//==============================================================================
using EngineTimer = EngineTest;

TEST_F (EngineTimer, UnableToConnectComesOnceOnTheFortiethTick)
{
    for (int tick = 1; tick < BootLoader::kConnectTimeOutTicks; ++tick)
        engine->timerCallback();
    EXPECT_TRUE (owner.currentStatus.isEmpty());

    engine->timerCallback();
    EXPECT_EQ (owner.currentStatus, "Unable to connect");
    EXPECT_TRUE (owner.isUpdatePending());

    owner.currentStatus = {};
    for (int tick = 0; tick < 100; ++tick)
        engine->timerCallback();
    EXPECT_TRUE (owner.currentStatus.isEmpty());
    EXPECT_EQ (engine->hidHolder->deviceHandle, nullptr);
}

TEST_F (EngineTimer, StatusTextsOfOneTickCollapseToTheLast)
{
    Receive (ReplyFrame ({ 0x04, 0x00, 0x01 }));
    Receive (ReplyFrame ({ 0x04, 0x00, 0x00 }));
    engine->timerCallback();
    EXPECT_EQ (owner.currentStatus, "Verification passed successfully");
    EXPECT_FALSE (engine->statusChanged);

    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
    EXPECT_EQ (owner.asyncUpdates, 1);

    owner.currentStatus = {};
    engine->timerCallback();
    EXPECT_TRUE (owner.currentStatus.isEmpty());
}

TEST_F (EngineTimer, ProgressIsPublishedOnceAndOnlyWhenNew)
{
    engine->pendingProgress = 0.25;
    engine->timerCallback();
    EXPECT_EQ (owner.progressValue, 0.25);

    owner.progressValue = -1.0;
    engine->timerCallback();
    EXPECT_EQ (owner.progressValue, -1.0);
}
