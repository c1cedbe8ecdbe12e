#include "EngineFixture.h"

#include "BinaryData.h"

#include <random>
#include <string>

namespace
{
// The reference count: the lines readNextLine gives until the stream is exhausted.
juce::uint32 LinesByReadNextLine (const std::string& text)
{
    juce::MemoryInputStream stream (text.data(), text.size(), false);
    juce::uint32 lines = 0;

    while (! stream.isExhausted())
    {
        stream.readNextLine();
        ++lines;
    }

    return lines;
}

struct Read
{
    unsigned short result;
    Bytes bytes;
    juce::uint32 currentRecord;
};

std::vector<Read> ReadAll (CHexManager& reader)
{
    std::vector<Read> reads;
    char buffer[64];

    while (! reader.hexStream->isExhausted())
    {
        const auto result = reader.GetNextHexRecord (buffer, sizeof (buffer));
        reads.push_back ({ result, Bytes (buffer, buffer + result), reader.currentRecord });
    }

    return reads;
}
} // namespace

TEST (HexLineCount, MatchesReadNextLineOnEveryKindOfLineEnd)
{
    const std::string cases[] = {
        "", "a", "\r", "\n", "\r\n", "\n\r", "\r\r\n", "a\rb\nc\r\nd", "a\r\n\r\nb", std::string ("a\0b", 3),
        std::string ("\0", 1), std::string ("\r\0", 2), std::string ("a\r", 2), "a\n\n", ":00000001ff\r\n:00000001ff",
    };

    for (const auto& text : cases)
        EXPECT_EQ (CHexManager::CountLines (text.data(), text.size()), LinesByReadNextLine (text)) << juce::String (text).quoted();

    std::mt19937 random (11);
    const char alphabet[] = { 'a', ':', '\r', '\n', '\0' };

    for (int i = 0; i < 2000; ++i)
    {
        std::string text ((size_t) (random() % 40), ' ');
        for (auto& c : text)
            c = alphabet[random() % sizeof (alphabet)];

        ASSERT_EQ (CHexManager::CountLines (text.data(), text.size()), LinesByReadNextLine (text)) << i;
    }
}

TEST (HexLineCount, MatchesReadNextLineOnTheEmbeddedImages)
{
    const std::string mainImage (BinaryData::temp_binary_data_0, (size_t) BinaryData::temp_binary_data_0Size);
    const std::string compImage (BinaryData::temp_binary_data_1, (size_t) BinaryData::temp_binary_data_1Size);
    EXPECT_EQ (CHexManager::CountLines (mainImage.data(), mainImage.size()), LinesByReadNextLine (mainImage));
    EXPECT_EQ (CHexManager::CountLines (compImage.data(), compImage.size()), LinesByReadNextLine (compImage));
}

struct ReaderCase
{
    const char* name;
    std::string image;
    juce::uint32 totalLines;
    std::vector<Read> reads;
};

TEST (HexReader, SmallImagesReadLineByLine)
{
    const ReaderCase cases[] = {
        { "lone CR, lone LF, no final line end", ":0102\r:03\n:0405", 3, { { 2, { 0x01, 0x02 }, 1 }, { 1, { 0x03 }, 2 }, { 2, { 0x04, 0x05 }, 3 } } },
        { "odd last digit ignored", ":0a1\r\n", 1, { { 1, { 0x0A }, 1 } } },
        { "upper case", ":0A\r\n:FFab\r\n", 2, { { 1, { 0x0A }, 1 }, { 2, { 0xFF, 0xAB }, 2 } } },
        { "digit then non-digit gives the digit", ":5 1g\r\n", 1, { { 2, { 0x05, 0x01 }, 1 } } },
        { "non-digit first gives 0", ": 5+1g1zz\r\n", 1, { { 4, { 0x00, 0x00, 0x00, 0x00 }, 1 } } },
        { "colon alone and colon with one character count", ":\r\n:0\r\n:01\r\n", 3, { { 0, {}, 1 }, { 0, {}, 2 }, { 1, { 0x01 }, 3 } } },
        { "lines without colon are consumed, not counted", "0102\r\n\r\n:01\r\n", 3, { { 0, {}, 0 }, { 0, {}, 0 }, { 1, { 0x01 }, 1 } } },
        { "a 16-byte data record gives 21 bytes", ":10918000000102030405060708090a0b0c0d0e0f9f\r\n", 1,
          { { 21, { 0x10, 0x91, 0x80, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x9F }, 1 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        CHexManager reader;
        reader.SelectImage (c.image.data(), c.image.size());
        EXPECT_EQ (reader.totalLines, c.totalLines);
        ASSERT_TRUE (reader.Rewind());

        const auto reads = ReadAll (reader);
        ASSERT_EQ (reads.size(), c.reads.size());

        for (size_t i = 0; i < reads.size(); ++i)
        {
            EXPECT_EQ (reads[i].result, c.reads[i].result) << "read " << i;
            EXPECT_EQ (reads[i].bytes, c.reads[i].bytes) << "read " << i;
            EXPECT_EQ (reads[i].currentRecord, c.reads[i].currentRecord) << "read " << i;
        }
    }
}

TEST (HexReader, NeverWritesPastTheGivenCapacity)
{
    const std::string image = ":0102030405\r\n";
    CHexManager reader;
    reader.SelectImage (image.data(), image.size());

    for (unsigned int capacity : { 0u, 1u, 4u, 5u })
    {
        SCOPED_TRACE (capacity);
        ASSERT_TRUE (reader.Rewind());
        Bytes buffer (8, 0xEE);
        const auto result = reader.GetNextHexRecord (reinterpret_cast<char*> (buffer.data()), capacity);

        if (capacity >= 5)
        {
            EXPECT_EQ (result, 5);
            EXPECT_EQ (buffer, (Bytes { 0x01, 0x02, 0x03, 0x04, 0x05, 0xEE, 0xEE, 0xEE }));
        }
        else
        {
            EXPECT_GT (result, capacity);
            EXPECT_EQ (buffer, Bytes (8, 0xEE)) << "a record that does not fit writes nothing";
        }
    }
}

TEST (HexReader, RewindNeedsAStream)
{
    CHexManager reader;
    EXPECT_FALSE (reader.Rewind());
    char buffer[4];
    EXPECT_EQ (reader.GetNextHexRecord (buffer, sizeof (buffer)), 0);
}

struct EmbeddedImage
{
    bool mainImage;
    juce::uint32 totalLines;
};

using EmbeddedImages = EngineTest;

TEST_F (EmbeddedImages, SelectionCountsLinesAndReadingWalksEveryRecord)
{
    for (const auto& c : { EmbeddedImage { true, 28812 }, EmbeddedImage { false, 1916 } })
    {
        SCOPED_TRACE (c.totalLines);
        auto& reader = engine->hexManager;
        reader.currentRecord = 77;
        c.mainImage ? engine->LoadMainHexFile() : engine->LoadCompHexFile();

        EXPECT_EQ (engine->mainImageSelected, c.mainImage);
        EXPECT_EQ (engine->compImageSelected, ! c.mainImage);
        EXPECT_EQ (reader.totalLines, c.totalLines);

        // The selection leaves the stream at its end and the record counter alone.
        char buffer[64];
        EXPECT_EQ (reader.GetNextHexRecord (buffer, sizeof (buffer)), 0);
        EXPECT_EQ (reader.currentRecord, 77u);

        ASSERT_TRUE (reader.Rewind());
        const auto reads = ReadAll (reader);
        ASSERT_EQ (reads.size(), c.totalLines);
        EXPECT_EQ (reads.front().bytes, (Bytes { 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0xFA }));
        EXPECT_EQ (reads.back().bytes, (Bytes { 0x00, 0x00, 0x00, 0x01, 0xFF }));
        EXPECT_EQ (reader.currentRecord, c.totalLines);
        EXPECT_EQ (reader.GetNextHexRecord (buffer, sizeof (buffer)), 0);

        size_t longest = 0;
        for (const auto& read : reads)
        {
            EXPECT_GT (read.result, 0);
            longest = std::max (longest, (size_t) read.result);
        }
        EXPECT_EQ (longest, 21u);
    }
}
