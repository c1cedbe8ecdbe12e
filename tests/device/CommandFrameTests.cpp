#include "EngineFixture.h"

#include <cstring>
#include <random>

namespace
{
juce::uint16 BitwiseCrc (const Bytes& data)
{
    juce::uint16 crc = 0;

    for (auto byte : data)
    {
        crc ^= (juce::uint16) (byte << 8);

        for (int bit = 0; bit < 8; ++bit)
            crc = (juce::uint16) ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }

    return crc;
}

Bytes Repeat (unsigned char value, size_t count)
{
    return Bytes (count, value);
}

Bytes operator+ (Bytes a, const Bytes& b)
{
    a.insert (a.end(), b.begin(), b.end());
    return a;
}

// A one-line image whose single record is `bytes` (written as hex digit pairs).
std::string ImageWithRecord (const Bytes& bytes)
{
    std::string line = ":";

    for (auto byte : bytes)
        line += juce::String::toHexString ((int) byte).paddedLeft ('0', 2).toStdString();

    return line + "\r\n";
}
} // namespace

using CommandFrames = EngineTest;

TEST (Crc, CheckValueAndNibbleTableMatchTheBitwiseCrc)
{
    const Bytes check { '1', '2', '3', '4', '5', '6', '7', '8', '9' };
    EXPECT_EQ (BootLoader::CalculateCrc (check.data(), check.size()), 0x31C3);

    std::mt19937 random (7);

    for (int length = 0; length < 64; ++length)
    {
        Bytes data;

        for (int i = 0; i < length; ++i)
            data.push_back ((unsigned char) random());

        EXPECT_EQ (BootLoader::CalculateCrc (data.data(), data.size()), BitwiseCrc (data)) << "length " << length;
    }
}

struct GoldenFrame
{
    char command;
    Bytes outFrame;
    juce::uint16 retriesLeft;
    juce::uint16 intervalMs;
};

TEST_F (CommandFrames, FixedCommandsGiveTheirExactBytesAndArmTheirCounters)
{
    const GoldenFrame cases[] = {
        { 1, { 0x00, 0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04 }, 30, 200 },
        { 2, { 0x00, 0x01, 0x02, 0x42, 0x20, 0x04 }, 30, 200 },
        { 4, Bytes { 0x00, 0x01, 0x10, 0x04 } + Repeat (0x00, 10) + Bytes { 0x47, 0x51, 0x04 }, 30, 200 },
        { 5, { 0x00, 0x01, 0x05, 0xA5, 0x50, 0x04 }, 1, 10 }, // its own count and interval
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ((int) c.command);
        ASSERT_TRUE (engine->SendCommand (c.command, 30, 200));
        EXPECT_EQ (OutFrame(), c.outFrame);
        EXPECT_EQ (engine->lastCommand, c.command);
        EXPECT_EQ (engine->retriesLeft, c.retriesLeft);
        EXPECT_EQ (engine->retriesPerCommand, c.retriesLeft);
        EXPECT_EQ (engine->retryIntervalMs, c.intervalMs);
    }
}

TEST_F (CommandFrames, UnknownCommandsBuildNothingAndLeaveTheCountersAlone)
{
    ASSERT_TRUE (engine->SendCommand (2, 3, 5000));
    engine->retriesLeft = 2;

    for (char command : { (char) 0, (char) 6, (char) -1 })
    {
        EXPECT_FALSE (engine->SendCommand (command, 30, 200));
        EXPECT_EQ (engine->outFrameLength, 0);
        EXPECT_EQ (engine->lastCommand, command);
        EXPECT_EQ (engine->retriesPerCommand, 3);
        EXPECT_EQ (engine->retriesLeft, 2);
        EXPECT_EQ (engine->retryIntervalMs, 5000);
        EXPECT_EQ (BootLoader::Buff[0], 2);
    }
}

TEST_F (CommandFrames, FirstProgramFrameOfTheMainImage)
{
    engine->LoadMainHexFile();
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));

    const Bytes expected { 0x00, 0x01, 0x03, 0x02, 0x00, 0x00, 0x10, 0x04, 0x00, 0x00, 0xFA,
                           0x02, 0x00, 0x00, 0x10, 0x04, 0x1F, 0xC0, 0x1B, 0x1F, 0xE8, 0x04 };
    EXPECT_EQ (OutFrame(), expected);
    EXPECT_EQ (engine->hexManager.currentRecord, 2u);
    EXPECT_EQ (engine->retriesLeft, 3);
}

TEST_F (CommandFrames, ProgramFramesTakeTwoRecordsThenOneThenRefuse)
{
    SelectImage (":0100000001fe\r\n:0100010002fc\r\n:00000001ff\r\n");
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    engine->rewindImage = false;

    ASSERT_TRUE (engine->SendCommand (3, 4, 100));
    const Bytes lastPayload { 0x03, 0x00, 0x00, 0x00, 0x01, 0xFF };
    const auto crc = BitwiseCrc (lastPayload);
    const Bytes expected { 0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x10, 0x01, 0xFF,
                           (unsigned char) (crc & 0xFF), (unsigned char) (crc >> 8), 0x04 };
    EXPECT_EQ (OutFrame(), expected);

    engine->retriesLeft = 1;
    EXPECT_FALSE (engine->SendCommand (3, 9, 9));
    EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
    EXPECT_EQ (engine->outFrameLength, 0);
    EXPECT_EQ (engine->retriesPerCommand, 4);
    EXPECT_EQ (engine->retriesLeft, 1);
    EXPECT_EQ (engine->retryIntervalMs, 100);
}

// A lost reply makes the engine send the same frame again, and the unit applies its records
// once more; data repeated behind a new upper address would land in the wrong place. That
// holds for a segment address (type 02) as for a linear one (type 04).
TEST_F (CommandFrames, AnAddressRecordBehindADataRecordOpensTheNextFrame)
{
    SelectImage (":0100000001fe\r\n:020000041d00dd\r\n:0100000002fd\r\n"
                 ":020000040000fa\r\n:020000041fc01b\r\n:0100000003fc\r\n:020000021000ec\r\n:00000001ff\r\n");
    const Bytes data1 { 0x01, 0x00, 0x00, 0x00, 0x01, 0xFE }, upper1D00 { 0x02, 0x00, 0x00, 0x04, 0x1D, 0x00, 0xDD },
        data2 { 0x01, 0x00, 0x00, 0x00, 0x02, 0xFD }, upper0000 { 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0xFA },
        upper1FC0 { 0x02, 0x00, 0x00, 0x04, 0x1F, 0xC0, 0x1B }, data3 { 0x01, 0x00, 0x00, 0x00, 0x03, 0xFC },
        segment1000 { 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC }, endOfFile { 0x00, 0x00, 0x00, 0x01, 0xFF };

    const std::vector<Bytes> expectedPayloads { Bytes { 0x03 } + data1,
                                                Bytes { 0x03 } + upper1D00 + data2,
                                                Bytes { 0x03 } + upper0000 + upper1FC0,
                                                Bytes { 0x03 } + data3,
                                                Bytes { 0x03 } + segment1000 + endOfFile };
    const std::vector<juce::uint32> expectedRecordCounts { 1, 3, 5, 6, 8 };

    for (size_t frame = 0; frame < expectedPayloads.size(); ++frame)
    {
        SCOPED_TRACE (frame);
        ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
        engine->rewindImage = false;
        EXPECT_EQ (PayloadOf (OutFrame()), expectedPayloads[frame]);
        EXPECT_EQ (engine->hexManager.currentRecord, expectedRecordCounts[frame]);
    }

    EXPECT_FALSE (engine->SendCommand (3, 3, 5000));
    EXPECT_TRUE (engine->hexManager.AllRecordsDelivered());
}

TEST_F (CommandFrames, RewindStartsAgainFromTheFirstLine)
{
    engine->LoadMainHexFile();
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    const auto firstFrame = OutFrame();

    engine->rewindImage = false;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    EXPECT_EQ (engine->hexManager.currentRecord, 12u);

    engine->rewindImage = true;
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    EXPECT_EQ (OutFrame(), firstFrame);
    EXPECT_EQ (engine->hexManager.currentRecord, 2u);
}

TEST_F (CommandFrames, ProgramFrameWithoutImageCannotRewind)
{
    EXPECT_FALSE (engine->SendCommand (3, 3, 5000));
    EXPECT_EQ (TakeStatus(), "Error in resetting the file pointer");
    EXPECT_EQ (engine->outFrameLength, 0);
    EXPECT_EQ (engine->retriesLeft, 0);
}

TEST_F (CommandFrames, FirstLineThatIsNoRecordRefusesTheFrame)
{
    SelectImage ("hello\r\n:00000001ff\r\n");
    EXPECT_FALSE (engine->SendCommand (3, 3, 5000));
    EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
    EXPECT_EQ (engine->retriesLeft, 0);
}

// A frame that would not fit the 1000-byte output frame after escaping is refused; one of
// 496 escaped data bytes is the largest that always fits.
TEST_F (CommandFrames, EscapedFrameMustFitTheOutputFrame)
{
    const auto image496 = ImageWithRecord (Repeat (0x10, 496));
    SelectImage (image496.c_str());
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    EXPECT_LE (engine->outFrameLength, BootLoader::kOutFrameSize);
    EXPECT_GE (engine->outFrameLength, 2 + 1 + 2 * 496 + 2 + 1);

    const auto image497 = ImageWithRecord (Repeat (0x10, 497));
    SelectImage (image497.c_str());
    EXPECT_FALSE (engine->SendCommand (3, 3, 5000));
    EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
    EXPECT_EQ (engine->outFrameLength, 0);

    // Without bytes to escape, a much longer record fits.
    const auto image900 = ImageWithRecord (Repeat (0x55, 900));
    SelectImage (image900.c_str());
    ASSERT_TRUE (engine->SendCommand (3, 3, 5000));
    const auto crcEscapes = std::count_if (BootLoader::Buff + 901, BootLoader::Buff + 903,
                                           [] (unsigned char b) { return b == 0x01 || b == 0x04 || b == 0x10; });
    EXPECT_EQ (engine->outFrameLength, 2 + 901 + 2 + crcEscapes + 1);
}

// Records are read straight into the 1000-byte payload buffer; one that would run past it
// (keeping room for the CRC) is refused before a byte of it is written. Below that, the
// output frame's limit decides: 993 payload bytes without escapes fit it exactly.
TEST_F (CommandFrames, RecordsMustFitThePayloadBufferAndTheOutputFrame)
{
    struct Case
    {
        size_t recordA, recordB;
        bool accepted;
    };

    const Case cases[] = { { 992, 0, true }, { 993, 0, false }, { 500, 492, true }, { 500, 493, false },
                           { 998, 0, false }, { 500, 498, false }, { 5000, 0, false } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::to_string (c.recordA) + " + " + std::to_string (c.recordB));
        auto image = ImageWithRecord (Repeat (0x55, c.recordA));
        if (c.recordB > 0)
            image += ImageWithRecord (Repeat (0x66, c.recordB));

        SelectImage (image.c_str());
        std::memset (BootLoader::Buff, 0, sizeof (BootLoader::Buff));
        engine->retriesLeft = 0;

        EXPECT_EQ (engine->SendCommand (3, 3, 5000), c.accepted);
        EXPECT_EQ (engine->retriesLeft, c.accepted ? 3 : 0);

        if (c.accepted)
        {
            EXPECT_LE (engine->outFrameLength, BootLoader::kOutFrameSize);
        }
        else
        {
            EXPECT_EQ (TakeStatus(), "Not a valid hex file.");
            EXPECT_EQ (engine->outFrameLength, 0);
        }

        if (c.recordA > 997)
        {
            EXPECT_EQ (BootLoader::Buff[1], 0) << "a record too long for the buffer was written";
        }
    }
}
