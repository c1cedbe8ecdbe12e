#include "EngineFixture.h"

using Deframer = EngineTest;

namespace
{
Bytes Concat (std::initializer_list<Bytes> parts)
{
    Bytes all;

    for (const auto& part : parts)
        all.insert (all.end(), part.begin(), part.end());

    return all;
}
} // namespace

struct DeframeCase
{
    const char* name;
    std::vector<Bytes> reports;
    bool complete;
    Bytes inFrame;
};

TEST_F (Deframer, ReportsGiveTheExpectedFrame)
{
    const DeframeCase cases[] = {
        { "escaped reply 1", { { 0x01, 0x10, 0x01, 0x02, 0x10, 0x01, 0x73, 0x41, 0x04 } }, true, { 0x01, 0x02, 0x01, 0x73, 0x41 } },
        { "escape carried into the next report", { { 0x01, 0x10 }, { 0x01, 0x02, 0x10, 0x01, 0x73, 0x41, 0x04 } }, true, { 0x01, 0x02, 0x01, 0x73, 0x41 } },
        { "shortest frame", { { 0x01, 0x02, 0x42, 0x20, 0x04 } }, true, { 0x02, 0x42, 0x20 } },
        { "command 1 echoed back", { { 0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04 } }, true, { 0x01, 0x21, 0x10 } },
        { "two bytes are too few even with a matching CRC", { { 0x01, 0x00, 0x00, 0x04 } }, false, { 0x00, 0x00 } },
        { "bad CRC keeps its bytes", { { 0x01, 0x02, 0x42, 0x21, 0x04 } }, false, { 0x02, 0x42, 0x21 } },
        { "a start byte drops a bad frame", { { 0x01, 0x02, 0x42, 0x21, 0x04 }, { 0x01, 0x02, 0x42, 0x20, 0x04 } }, true, { 0x02, 0x42, 0x20 } },
        { "no start byte needed", { { 0x02, 0x42, 0x20, 0x04 } }, true, { 0x02, 0x42, 0x20 } },
        { "bytes after an end byte join the earlier bytes", { { 0x01, 0x02, 0x42, 0x21, 0x04, 0x02, 0x42, 0x20, 0x04 } }, false, { 0x02, 0x42, 0x21, 0x02, 0x42, 0x20 } },
        { "escaped end byte is data", { { 0x01, 0x10, 0x04, 0x02, 0x42, 0x20, 0x04 } }, false, { 0x04, 0x02, 0x42, 0x20 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        BootLoader::Escape = false;
        engine->inFrameLength = 0;
        engine->inFrameComplete = false;

        for (const auto& report : c.reports)
            Feed (report);

        EXPECT_EQ (engine->inFrameComplete, c.complete);
        EXPECT_EQ (InFrame(), c.inFrame);
        EXPECT_FALSE (BootLoader::Escape);
    }
}

TEST_F (Deframer, BytesBehindACompleteFrameInTheSameReportAreLost)
{
    Feed (Concat ({ ReplyFrame ({ 0x02 }), ReplyFrame ({ 0x03 }) }));
    EXPECT_TRUE (engine->inFrameComplete);
    EXPECT_EQ (InFrame(), (Bytes { 0x02, 0x42, 0x20 }));

    // While a frame waits to be handled nothing more is consumed.
    Feed (ReplyFrame ({ 0x03 }));
    EXPECT_EQ (InFrame(), (Bytes { 0x02, 0x42, 0x20 }));
}

TEST_F (Deframer, OnlyReportsOfOneTo99BytesAreConsumed)
{
    const auto frame = ReplyFrame ({ 0x02 });

    for (size_t length : { (size_t) 99, (size_t) 100, (size_t) 245 })
    {
        SCOPED_TRACE (length);
        engine->inFrameLength = 0;
        engine->inFrameComplete = false;

        Bytes report (length - frame.size(), 0x55);
        report.insert (report.end(), frame.begin(), frame.end());
        Feed (report);

        EXPECT_EQ (engine->inFrameComplete, length == 99);
        EXPECT_EQ (engine->inFrameLength, length == 99 ? 3 : 0);
    }

    // A read error arrives as 65535.
    Bytes report (245, 0x55);
    engine->BuildRxFrame (report.data(), (unsigned short) -1);
    EXPECT_EQ (engine->inFrameLength, 0);
}

// Frames are fed in reports of at most 99 bytes, as a device would send a long frame.
TEST_F (Deframer, TheLongestFrameHas252BytesAnd253ResetTheCollection)
{
    auto feedInReports = [this] (const Bytes& wire)
    {
        for (size_t start = 0; start < wire.size(); start += 99)
            Feed (Bytes (wire.begin() + (long) start, wire.begin() + (long) std::min (wire.size(), start + 99)));
    };

    const auto longest = ReplyFrame (Bytes (250, 0x55));
    feedInReports (longest);
    EXPECT_TRUE (engine->inFrameComplete);
    EXPECT_EQ (engine->inFrameLength, 252);

    engine->inFrameComplete = false;
    const auto tooLong = ReplyFrame (Bytes (251, 0x55));
    feedInReports (tooLong);
    EXPECT_FALSE (engine->inFrameComplete);
    EXPECT_EQ (engine->inFrameLength, 0);
}
