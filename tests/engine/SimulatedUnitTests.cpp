// The simulated unit on its own, driven through the hidapi functions as the engine drives it:
// the unit must be a strict peer, or the engine tests built on it prove nothing.
#include "FlashMemory.h"
#include "SimulatedUnit.h"
#include "UnitFraming.h"

#include <gtest/gtest.h>
#include <hidapi.h>

#include <chrono>
#include <string>
#include <thread>

using namespace zendravel::sim;

namespace
{
Bytes bytesOf (const std::string& text)
{
    return { text.begin(), text.end() };
}

// What the engine's first program frame carries: the image's first two lines.
const Bytes firstProgramPayload { 0x03, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0xfa, 0x02, 0x00, 0x00, 0x04, 0x1f, 0xc0, 0x1b };

TEST (UnitFraming, CrcIsXmodem)
{
    const struct
    {
        Bytes data;
        std::uint16_t crc;
    } cases[] = {
        { bytesOf ("123456789"), 0x31c3 },
        { { 0x01 }, 0x1021 },
        { { 0x02 }, 0x2042 },
        { { 0x05 }, 0x50a5 },
        { { 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, 0x5147 },
        { firstProgramPayload, 0xe81f },
        { {}, 0x0000 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (crc16Xmodem (c.data.data(), c.data.size()), c.crc) << c.data.size() << " bytes";
}

TEST (UnitFraming, EncodesWithEscapesAndCrcLowByteFirst)
{
    const struct
    {
        Bytes payload;
        Bytes wire;
    } cases[] = {
        { { 0x01 }, { 0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04 } },
        { { 0x02 }, { 0x01, 0x02, 0x42, 0x20, 0x04 } },
        { { 0x01, 0x02, 0x01 }, { 0x01, 0x10, 0x01, 0x02, 0x10, 0x01, 0x73, 0x41, 0x04 } },
        { firstProgramPayload, { 0x01, 0x03, 0x02, 0x00, 0x00, 0x10, 0x04, 0x00, 0x00, 0xfa, 0x02, 0x00, 0x00, 0x10, 0x04, 0x1f, 0xc0, 0x1b, 0x1f, 0xe8, 0x04 } },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (encodeFrame (c.payload), c.wire);

        FrameDecoder decoder;
        const auto frames = decoder.feed (c.wire.data(), c.wire.size());
        ASSERT_EQ (frames.size(), 1u);
        EXPECT_TRUE (frames[0].wellFormed);
        EXPECT_EQ (frames[0].payload, c.payload);
    }
}

TEST (UnitFraming, DecodesAFrameCutIntoOneByteReports)
{
    const auto wire = encodeFrame (firstProgramPayload);
    FrameDecoder decoder;
    std::vector<FrameDecoder::Frame> frames;

    for (auto byte : wire)
        for (auto& frame : decoder.feed (&byte, 1))
            frames.push_back (frame);

    ASSERT_EQ (frames.size(), 1u);
    EXPECT_EQ (frames[0].payload, firstProgramPayload);
}

TEST (UnitFraming, CountsBrokenFramesAndRecoversAtTheNextStart)
{
    const auto good = encodeFrame ({ 0x02 });

    const struct
    {
        const char* what;
        Bytes bytes;
    } cases[] = {
        { "bad CRC", { 0x01, 0x02, 0x42, 0x21, 0x04 } },
        { "too short: no command byte", { 0x01, 0x00, 0x00, 0x04 } },
        { "escape in front of an ordinary byte", { 0x01, 0x02, 0x10, 0x42, 0x20, 0x04 } },
        { "bytes outside any frame", { 0x55, 0x66, 0x77 } },
        { "end without a start", { 0x04 } },
        { "start inside an unfinished frame", { 0x01, 0x02, 0x42 } },
        { "frame longer than any buffer", Bytes (2000, 0x33) },
    };

    for (const auto& c : cases)
    {
        FrameDecoder decoder;
        auto bytes = c.bytes;

        if (bytes.size() > 1000)
            bytes.insert (bytes.begin(), 0x01);

        bytes.insert (bytes.end(), good.begin(), good.end());
        const auto frames = decoder.feed (bytes.data(), bytes.size());

        ASSERT_EQ (frames.size(), 2u) << c.what;
        EXPECT_FALSE (frames[0].wellFormed) << c.what;
        EXPECT_TRUE (frames[1].wellFormed) << c.what;
        EXPECT_EQ (frames[1].payload, Bytes { 0x02 }) << c.what;
    }
}

TEST (FlashMemory, MergesNeighboursAndOnlyClearsBitsUntilErased)
{
    FlashMemory flash;
    const std::uint8_t a[] = { 1, 2, 3, 4 };
    const std::uint8_t b[] = { 5, 6 };
    const std::uint8_t c[] = { 3, 9, 9, 9, 9, 9 };

    EXPECT_EQ (flash.program (0x1000, a, 4), 0u);
    EXPECT_EQ (flash.program (0x1004, b, 2), 0u); // touches the end
    EXPECT_EQ (flash.program (0x0ffe, b, 2), 0u); // touches the start
    EXPECT_EQ (flash.program (0x2000, a, 4), 0u); // apart
    EXPECT_EQ (flash.runs(), (FlashMemory::Runs { { 0x0ffe, { 5, 6, 1, 2, 3, 4, 5, 6 } }, { 0x2000, { 1, 2, 3, 4 } } }));

    // Overlaps the end of a run and reaches past it: the same 3 again costs nothing, the 9s
    // over 4, 5 and 6 keep only the bits both share.
    EXPECT_EQ (flash.program (0x1002, c, 6), 3u);
    EXPECT_EQ (flash.runs(), (FlashMemory::Runs { { 0x0ffe, { 5, 6, 1, 2, 3, 0, 1, 0, 9, 9 } }, { 0x2000, { 1, 2, 3, 4 } } }));

    std::vector<std::uint8_t> bridge (0x2000 - 0x1008 + 1, 7); // ends on the 1 that starts the second run
    EXPECT_EQ (flash.program (0x1008, bridge.data(), bridge.size()), 1u);
    ASSERT_EQ (flash.runs().size(), 1u);
    EXPECT_EQ (flash.runs().begin()->first, 0x0ffeu);
    EXPECT_EQ (flash.byteCount(), 0x2004u - 0x0ffeu);
    EXPECT_EQ (flash.runs().begin()->second.back(), 4);

    EXPECT_EQ (flash.program (0xfffffffe, b, 2), 0u); // the last two bytes of the address space
    EXPECT_EQ (flash.runs().rbegin()->first, 0xfffffffeu);

    flash.erase();
    EXPECT_TRUE (flash.runs().empty());
    EXPECT_EQ (flash.program (0x1002, c, 6), 0u) << "erased again";
}

// The host's side of the link, for driving the unit through hidapi.
class UnitTest : public testing::Test
{
protected:
    void SetUp() override { unit().configure (config); }

    void TearDown() override
    {
        if (device != nullptr)
            hid_close (device);

        unit().reset();
    }

    static SimulatedUnit& unit() { return SimulatedUnit::instance(); }

    void configure (const Config& c)
    {
        config = c;
        unit().configure (c);
    }

    void open()
    {
        device = hid_open (0x04d8, 0xf035, nullptr);
        ASSERT_NE (device, nullptr);
        ASSERT_EQ (hid_set_nonblocking (device, 1), 0);
    }

    void close()
    {
        hid_close (device);
        device = nullptr;
    }

    int sendRaw (const Bytes& wire)
    {
        Bytes report { 0x00 };
        report.insert (report.end(), wire.begin(), wire.end());
        return hid_write (device, report.data(), report.size());
    }

    int send (const Bytes& payload) { return sendRaw (encodeFrame (payload)); }

    // The next input report, waiting up to timeoutMs; empty when none came.
    Bytes nextReport (int timeoutMs = 0)
    {
        unsigned char buffer[245];
        const int count = timeoutMs > 0 ? hid_read_timeout (device, buffer, sizeof (buffer), timeoutMs)
                                        : hid_read (device, buffer, sizeof (buffer));
        return count > 0 ? Bytes (buffer, buffer + count) : Bytes {};
    }

    // The well-formed replies in all reports queued now.
    std::vector<Bytes> replies()
    {
        std::vector<Bytes> payloads;

        for (auto report = nextReport(); ! report.empty(); report = nextReport())
            for (const auto& frame : hostDecoder.feed (report.data(), report.size()))
                if (frame.wellFormed)
                    payloads.push_back (frame.payload);

        return payloads;
    }

    Config config;
    hid_device* device = nullptr;
    FrameDecoder hostDecoder;
};

TEST_F (UnitTest, AnswersEachCommandAsTheBootloaderDoes)
{
    Config c;
    c.deviceKind = 2;
    c.bootloaderKinds = { 1 };
    c.verifyReply = { 0xff, 0x0a };
    configure (c);
    open();

    const struct
    {
        Bytes command;
        std::vector<Bytes> replies;
    } cases[] = {
        { { 0x01 }, { { 0x01, 0x02, 0x01 } } },
        { { 0x02 }, { { 0x02 } } },
        { firstProgramPayload, { { 0x03 } } },
        { { 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, { { 0x04, 0xff, 0x0a } } },
        { { 0x05 }, {} },
        { { 0x07 }, {} },
        { { 0x00 }, {} },
    };

    for (const auto& step : cases)
    {
        ASSERT_EQ (send (step.command), static_cast<int> (encodeFrame (step.command).size() + 1));
        EXPECT_EQ (replies(), step.replies) << "command " << int (step.command[0]);
    }

    const auto report = unit().report();
    EXPECT_EQ (report.frames, 7);
    EXPECT_EQ (report.commands, (std::vector<int> { 1, 2, 3, 4, 5, 7, 0 }));
    EXPECT_EQ (report.errors, 2) << "the unknown commands 7 and 0";
    EXPECT_TRUE (report.erased);
    EXPECT_EQ (report.records, 2);
}

TEST_F (UnitTest, InterpretsRecordsAtTheirFullAddress)
{
    open();
    send ({ 0x02 });
    // Upper address 0x1d00, then 4 bytes at 0x9180 and the end-of-file record.
    send ({ 0x03, 0x02, 0x00, 0x00, 0x04, 0x1d, 0x00, 0xdd, 0x04, 0x91, 0x80, 0x00, 0xde, 0xad, 0xbe, 0xef, 0xb3 });
    send ({ 0x03, 0x00, 0x00, 0x00, 0x01, 0xff });
    EXPECT_EQ (replies().size(), 3u);

    const auto report = unit().report();
    EXPECT_EQ (report.flash, (FlashMemory::Runs { { 0x1d009180, { 0xde, 0xad, 0xbe, 0xef } } }));
    EXPECT_EQ (report.records, 3);
    EXPECT_EQ (report.errors, 0);
    EXPECT_TRUE (report.endOfFile);
}

// A repeated frame is harmless only where it writes the same bytes again: flash cannot take
// different data until it is erased, even if the image writes the right bytes there later.
TEST_F (UnitTest, DataOverDifferentDataSinceTheEraseIsAnError)
{
    // Four bytes at 0x0100: de ad be ef, then de ad be ee.
    const Bytes first { 0x03, 0x04, 0x01, 0x00, 0x00, 0xde, 0xad, 0xbe, 0xef, 0xc3 };
    const Bytes different { 0x03, 0x04, 0x01, 0x00, 0x00, 0xde, 0xad, 0xbe, 0xee, 0xc4 };

    const struct
    {
        const char* what;
        std::vector<Bytes> commands;
        int errors;
    } cases[] = {
        { "the same bytes again", { { 0x02 }, first, first }, 0 },
        { "different bytes", { { 0x02 }, first, different }, 1 },
        { "different bytes after a new erase", { { 0x02 }, first, { 0x02 }, different }, 0 },
    };

    for (const auto& c : cases)
    {
        unit().reset();
        open();

        for (const auto& command : c.commands)
            send (command);

        const auto report = unit().report();
        EXPECT_EQ (report.errors, c.errors) << c.what;
        EXPECT_EQ (report.records, 2) << c.what;
        EXPECT_EQ (replies().size(), c.commands.size()) << c.what;
        close();
    }
}

TEST_F (UnitTest, CountsBadRecordsAndStillAnswers)
{
    const struct
    {
        const char* what;
        Bytes payload;
        int records;
    } cases[] = {
        { "bad checksum", { 0x03, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0xfb }, 0 },
        { "unknown type 02", { 0x03, 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xec }, 0 },
        { "type 04 with one byte", { 0x03, 0x01, 0x00, 0x00, 0x04, 0x00, 0xfb }, 0 },
        { "truncated second record", { 0x03, 0x00, 0x00, 0x00, 0x01, 0xff, 0x04, 0x00, 0x00 }, 1 },
        { "no record at all", { 0x03 }, 0 },
    };

    for (const auto& c : cases)
    {
        unit().reset();
        open();
        send (c.payload);
        EXPECT_EQ (replies(), std::vector<Bytes> { { 0x03 } }) << c.what;

        const auto report = unit().report();
        EXPECT_EQ (report.errors, 1) << c.what;
        EXPECT_EQ (report.records, c.records) << c.what;
        EXPECT_TRUE (report.flash.empty()) << c.what;
        close();
    }
}

TEST_F (UnitTest, RefusesOutputReportsTheUnitCannotTake)
{
    open();
    const unsigned char numbered[] = { 0x02, 0x01, 0x02, 0x42, 0x20, 0x04 };
    EXPECT_EQ (hid_write (device, numbered, sizeof (numbered)), -1);

    Bytes tooLong (66, 0x00);
    EXPECT_EQ (hid_write (device, tooLong.data(), tooLong.size()), -1);
    EXPECT_EQ (unit().report().badFrames, 0);
}

TEST_F (UnitTest, AbsentOpensAndSessionsFollowTheConfiguration)
{
    Config c;
    c.absentOpens = 2;
    c.absentBetween = 1;
    c.bootloaderKinds = { 1, 2 };
    configure (c);

    const std::vector<int> expectedKinds { 1, 2, 2 };

    for (int session = 1; session <= 3; ++session)
    {
        const int absent = session == 1 ? 2 : 1;

        for (int i = 0; i < absent; ++i)
        {
            EXPECT_FALSE (unit().nextOpenFindsUnit());
            EXPECT_EQ (hid_open (0x04d8, 0xf035, nullptr), nullptr) << "session " << session;
        }

        EXPECT_TRUE (unit().nextOpenFindsUnit());
        open();
        EXPECT_EQ (hid_open (0x04d8, 0xf035, nullptr), nullptr) << "busy while open";
        send ({ 0x01 });
        const Bytes reply1 { 0x01, 0x02, static_cast<std::uint8_t> (expectedKinds[(size_t) session - 1]) };
        EXPECT_EQ (replies(), std::vector<Bytes> { reply1 });
        close();
    }

    EXPECT_EQ (hid_open (0x1234, 0xf035, nullptr), nullptr) << "other ids";
    EXPECT_EQ (unit().openAttempts(), 2 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1);
    EXPECT_EQ (unit().sessionCount(), 3);
    EXPECT_EQ (unit().closeCalls(), 3);
}

TEST_F (UnitTest, AStaleHandleIsRefusedAndCounted)
{
    open();
    auto* stale = device;
    close();
    unsigned char buffer[8];
    EXPECT_EQ (hid_read (stale, buffer, sizeof (buffer)), -1);
    EXPECT_EQ (hid_write (stale, buffer, 1), -1);
    EXPECT_EQ (unit().handleMisuses(), 2);
}

TEST_F (UnitTest, LatencyHoldsRepliesBack)
{
    Config c;
    c.latencyMs = 150;
    configure (c);
    open();

    const auto start = std::chrono::steady_clock::now();
    send ({ 0x02 });
    EXPECT_TRUE (nextReport().empty());

    const auto reply = nextReport (2000);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ (reply, encodeFrame ({ 0x02 }));
    EXPECT_GE (waited, std::chrono::milliseconds (150));
    EXPECT_LT (waited, std::chrono::milliseconds (1500));
}

TEST_F (UnitTest, SlowRepliesComeLateWithinTheirLimit)
{
    Config c;
    c.slowReplyFraction = 1.0;
    c.slowReplyMaxMs = 150;
    configure (c);
    open();

    const auto start = std::chrono::steady_clock::now();
    send ({ 0x02 });
    send ({ 0x02 });
    EXPECT_TRUE (nextReport().empty());

    EXPECT_EQ (nextReport (2000), encodeFrame ({ 0x02 }));
    EXPECT_EQ (nextReport (2000), encodeFrame ({ 0x02 }));
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::milliseconds (1000));
}

TEST_F (UnitTest, ReplyFaultsShapeWhatTheHostReads)
{
    const auto reply2 = encodeFrame ({ 0x02 });

    struct Case
    {
        const char* what;
        Config config;
        std::vector<std::size_t> reportSizes; // of everything the two commands bring
        int wellFormedReplies;
    };

    auto with = [] (auto change)
    {
        Config c;
        change (c);
        return c;
    };

    const Case cases[] = {
        { "plain", {}, { 5, 5 }, 2 },
        { "drop reply 2", with ([] (Config& c) { c.dropReplyNumber = 2; }), { 5 }, 1 },
        { "drop every reply", with ([] (Config& c) { c.dropReplyFraction = 1.0; }), {}, 0 },
        { "corrupt reply 1", with ([] (Config& c) { c.corruptReplyNumber = 1; }), { 5, 5 }, 1 },
        { "duplicate reply 1", with ([] (Config& c) { c.duplicateReplyNumber = 1; }), { 5, 5, 5 }, 3 },
        { "split into 2-byte reports", with ([] (Config& c) { c.splitReplyBytes = 2; }), { 2, 2, 1, 2, 2, 1 }, 2 },
        { "padded to 64 bytes", with ([] (Config& c) { c.padReplies = true; }), { 64, 64 }, 2 },
        { "garbage in front", with ([] (Config& c) { c.garbageBytesBeforeReplies = 30; }), { 30, 5, 30, 5 }, 2 },
        { "oversize report in front", with ([] (Config& c) { c.oversizeReportBytes = 120; }), { 120, 5, 120, 5 }, 4 },
    };

    for (const auto& c : cases)
    {
        configure (c.config);
        hostDecoder = {};
        open();
        send ({ 0x02 });
        send ({ 0x02 });

        std::vector<std::size_t> sizes;
        int wellFormed = 0;

        for (auto report = nextReport(); ! report.empty(); report = nextReport())
        {
            sizes.push_back (report.size());

            for (const auto& frame : hostDecoder.feed (report.data(), report.size()))
                wellFormed += frame.wellFormed ? 1 : 0;

            if (c.config.garbageBytesBeforeReplies > 0 && report.size() == 30)
            {
                for (auto byte : report)
                    EXPECT_TRUE (byte != kStartByte && byte != kEndByte && byte != kEscapeByte) << c.what;
            }

            if (report.size() == 64)
            {
                EXPECT_EQ (Bytes (report.begin(), report.begin() + 5), reply2) << c.what;
            }
        }

        EXPECT_EQ (sizes, c.reportSizes) << c.what;
        EXPECT_EQ (wellFormed, c.wellFormedReplies) << c.what;
        EXPECT_EQ (unit().report().replies, 2) << c.what;
        close();
    }
}

TEST_F (UnitTest, AnOversizeReportHoldsAWrongDeviceReply)
{
    Config c;
    c.oversizeReportBytes = 100;
    configure (c);
    open();
    send ({ 0x02 });

    const auto decoy = nextReport();
    ASSERT_EQ (decoy.size(), 100u);
    const auto frames = hostDecoder.feed (decoy.data(), decoy.size());
    ASSERT_FALSE (frames.empty());
    EXPECT_EQ (frames[0].payload, (Bytes { 0x01, 0x03, 0x01 }));
}

TEST_F (UnitTest, ADelayedReplyHoldsBackThoseBehindIt)
{
    Config c;
    c.delayReplyNumber = 1;
    c.delayReplyMs = 200;
    configure (c);
    open();
    send ({ 0x01 });
    send ({ 0x02 });
    EXPECT_TRUE (replies().empty());

    std::this_thread::sleep_for (std::chrono::milliseconds (250));
    EXPECT_EQ (replies(), (std::vector<Bytes> { { 0x01, 0x02, 0x01 }, { 0x02 } }));
}

TEST_F (UnitTest, FrameFaultsSilenceAndUnplug)
{
    struct Case
    {
        const char* what;
        Config config;
        std::vector<int> writeResults; // of three erase commands
        int frames;
        int badFrames;
        int replies;
        int readResult; // of a read after the third write
    };

    auto with = [] (auto change)
    {
        Config c;
        change (c);
        return c;
    };

    const Case cases[] = {
        { "plain", {}, { 6, 6, 6 }, 3, 0, 3, 5 },
        { "drop frame 2", with ([] (Config& c) { c.dropFrameNumber = 2; }), { 6, 6, 6 }, 2, 0, 2, 5 },
        { "corrupt frame 2", with ([] (Config& c) { c.corruptFrameNumber = 2; }), { 6, 6, 6 }, 2, 1, 2, 5 },
        { "deaf for 2 frames", with ([] (Config& c) { c.deafForFrames = 2; }), { 6, 6, 6 }, 3, 0, 1, 5 },
        { "silent after 1 frame", with ([] (Config& c) { c.silentAfterFrames = 1; }), { 6, 6, 6 }, 3, 0, 1, 5 },
        { "silent from the start", with ([] (Config& c) { c.silentAfterFrames = 0; }), { 6, 6, 6 }, 3, 0, 0, 0 },
        { "unplug after 1 frame", with ([] (Config& c) { c.unplugAfterFrames = 1; }), { 6, -1, -1 }, 1, 0, 1, -1 },
        { "unplug at once", with ([] (Config& c) { c.unplugAfterFrames = 0; }), { -1, -1, -1 }, 0, 0, 0, -1 },
    };

    for (const auto& c : cases)
    {
        configure (c.config);
        open();

        std::vector<int> results;

        for (int i = 0; i < 3; ++i)
            results.push_back (send ({ 0x02 }));

        unsigned char buffer[245];
        const int firstRead = hid_read (device, buffer, sizeof (buffer));
        int queued = firstRead > 0 ? 1 : 0;

        while (hid_read (device, buffer, sizeof (buffer)) > 0)
            ++queued;

        const auto report = unit().report();
        EXPECT_EQ (results, c.writeResults) << c.what;
        EXPECT_EQ (report.frames, c.frames) << c.what;
        EXPECT_EQ (report.badFrames, c.badFrames) << c.what;
        EXPECT_EQ (queued, c.readResult < 0 ? 0 : c.replies) << c.what;
        EXPECT_EQ (firstRead, c.readResult) << c.what;
        close();
    }
}

TEST_F (UnitTest, ABlockingReadWaitsForTheReplyOrTheTimeOut)
{
    Config c;
    c.latencyMs = 100;
    configure (c);
    open();
    ASSERT_EQ (hid_set_nonblocking (device, 0), 0);

    unsigned char buffer[64];
    EXPECT_EQ (hid_read_timeout (device, buffer, sizeof (buffer), 20), 0);

    send ({ 0x02 });
    EXPECT_EQ (hid_read (device, buffer, sizeof (buffer)), 5) << "blocks until the reply is due";

    std::thread closer ([] {
        std::this_thread::sleep_for (std::chrono::milliseconds (50));
        unit().reset();
    });
    EXPECT_EQ (hid_read (device, buffer, sizeof (buffer)), -1) << "a blocked read ends when the unit goes";
    closer.join();
    device = nullptr;
}

TEST_F (UnitTest, AShortReadBufferCutsTheReport)
{
    Config c;
    c.padReplies = true;
    configure (c);
    open();
    send ({ 0x02 });

    unsigned char buffer[3];
    EXPECT_EQ (hid_read (device, buffer, sizeof (buffer)), 3);
    EXPECT_EQ (hid_read (device, buffer, sizeof (buffer)), 0) << "the rest of the report is gone";
}
} // namespace
