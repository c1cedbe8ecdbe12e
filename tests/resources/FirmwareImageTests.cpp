// The firmware images as the program embeds them. The unit's bootloader interprets every
// record, so a regenerated image that breaks its form must fail here, not on the unit.

#include "BinaryData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{
struct Record
{
    int type = 0;
    uint32_t offset = 0;
    std::vector<uint8_t> data;
};

struct ParsedImage
{
    std::vector<std::string> lines;
    std::vector<Record> records;
    int malformedLines = 0;
    int badChecksums = 0;
    bool endsWithLineEnd = false;
    bool strayLineBreaks = false;
};

int hexValue (char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper case counts as malformed: the images are lower-case throughout
}

bool parseRecord (const std::string& line, std::vector<uint8_t>& bytes)
{
    if (line.size() < 11 || line.size() > 43 || line[0] != ':' || line.size() % 2 == 0)
        return false;

    bytes.clear();
    for (size_t i = 1; i < line.size(); i += 2)
    {
        const auto high = hexValue (line[i]), low = hexValue (line[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back (static_cast<uint8_t> (high * 16 + low));
    }
    return bytes[0] + 5u == bytes.size();
}

ParsedImage parseImage (const char* data, int size)
{
    ParsedImage image;
    const std::string text (data, static_cast<size_t> (size));
    image.endsWithLineEnd = text.size() >= 2 && text.compare (text.size() - 2, 2, "\r\n") == 0;

    for (size_t start = 0; start < text.size();)
    {
        auto end = text.find ("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        image.lines.push_back (text.substr (start, end - start));
        start = end + 2;
    }

    std::vector<uint8_t> bytes;
    for (const auto& line : image.lines)
    {
        image.strayLineBreaks |= line.find_first_of ("\r\n") != std::string::npos;
        if (! parseRecord (line, bytes))
        {
            ++image.malformedLines;
            continue;
        }
        uint8_t sum = 0;
        for (auto b : bytes)
            sum = static_cast<uint8_t> (sum + b);
        image.badChecksums += sum != 0;
        image.records.push_back ({ bytes[3], static_cast<uint32_t> (bytes[1] << 8 | bytes[2]), { bytes.begin() + 4, bytes.end() - 1 } });
    }
    return image;
}

// What an image's records say about its address map, gathered in one pass in file order.
struct Survey
{
    int dataRecords = 0, addressRecords = 0, endRecords = 0, otherRecords = 0;
    uint64_t dataBytes = 0;
    std::set<uint32_t> uppers;
    std::set<size_t> dataByteCounts, addressByteCounts;
    int pairs = 0, zeroUppers = 0, singles = 0, singlesOffBoundary = 0;
    int fallBacks = 0, misaligned = 0, crossing64k = 0;
    std::vector<std::pair<uint32_t, uint32_t>> spans; // [first, end) of each data record, in file order
};

// Walks the records in file order, tracking the upper address as the bootloader would.
class Surveyor
{
public:
    Surveyor (const std::vector<Record>& recordsToWalk, uint32_t bootFirstAddress)
        : records (recordsToWalk), bootFirst (bootFirstAddress)
    {
        for (size_t i = 0; i < records.size(); ++i)
        {
            switch (records[i].type)
            {
                case 0: noteData (records[i]); break;
                case 1: ++s.endRecords; break;
                case 4: noteAddress (i); break;
                default: ++s.otherRecords; break;
            }
        }
    }

    Survey s;

private:
    void noteAddress (size_t index)
    {
        const auto& data = records[index].data;
        ++s.addressRecords;
        s.addressByteCounts.insert (data.size());
        upper = data.size() == 2 ? static_cast<uint32_t> (data[0] << 8 | data[1]) : 0xffffffffu;
        s.uppers.insert (upper);

        const bool afterZero = index > 0 && records[index - 1].type == 4 && records[index - 1].data == std::vector<uint8_t> { 0, 0 };
        if (upper == 0)
            ++s.zeroUppers;
        else if (afterZero)
            ++s.pairs;
        else
        {
            // A lone address record belongs where a run of data steps into the next 64 KB.
            ++s.singles;
            s.singlesOffBoundary += previousEnd != upper << 16;
            expectedNext = upper << 16;
        }
    }

    void noteData (const Record& r)
    {
        const auto address = upper << 16 | r.offset;
        ++s.dataRecords;
        s.dataBytes += r.data.size();
        s.dataByteCounts.insert (r.data.size());
        s.misaligned += address % 4 != 0;
        s.crossing64k += r.offset + r.data.size() > 0x10000;
        if (expectedNext != 0)
            s.singlesOffBoundary += address != expectedNext;
        expectedNext = 0;

        // Only the application range counts: the boot block lies above it and comes first.
        if (address < bootFirst)
        {
            s.fallBacks += anyApplication && address < previousApplication;
            previousApplication = address;
            anyApplication = true;
        }
        previousEnd = address + static_cast<uint32_t> (r.data.size());
        s.spans.emplace_back (address, previousEnd);
    }

    const std::vector<Record>& records;
    const uint32_t bootFirst;
    uint32_t upper = 0, previousEnd = 0, expectedNext = 0, previousApplication = 0;
    bool anyApplication = false;
};

struct ImageFigures
{
    const char* name;
    const char* data;
    int size;
    int expectedSize;
    size_t lines;
    int dataRecords, addressRecords;
    uint64_t dataBytes;
    std::set<uint32_t> uppers;
    uint32_t bootFirst, bootLast, applicationFirst, applicationLast;
    int pairs, singles, fallBacks;
};

void PrintTo (const ImageFigures& f, std::ostream* os) { *os << f.name; }

class FirmwareImage : public testing::TestWithParam<ImageFigures>
{
protected:
    void SetUp() override
    {
        image = parseImage (GetParam().data, GetParam().size);
        s = Surveyor (image.records, GetParam().bootFirst).s;
    }

    ParsedImage image;
    Survey s;
};

TEST_P (FirmwareImage, HasItsSizeLinesAndRecordCounts)
{
    const auto& f = GetParam();
    EXPECT_EQ (f.size, f.expectedSize);
    EXPECT_EQ (image.lines.size(), f.lines);
    EXPECT_EQ (s.dataRecords, f.dataRecords);
    EXPECT_EQ (s.addressRecords, f.addressRecords);
    EXPECT_EQ (s.endRecords, 1);
    EXPECT_EQ (s.otherRecords, 0);
    EXPECT_EQ (s.dataBytes, f.dataBytes);
}

TEST_P (FirmwareImage, IsLowerCaseHexRecordsWithValidChecksumsAndCrLfLineEnds)
{
    EXPECT_TRUE (image.endsWithLineEnd);
    EXPECT_FALSE (image.strayLineBreaks);
    EXPECT_EQ (image.malformedLines, 0);
    EXPECT_EQ (image.badChecksums, 0);
    EXPECT_EQ (s.dataByteCounts, (std::set<size_t> { 4, 8, 12, 16 }));
    EXPECT_EQ (s.addressByteCounts, (std::set<size_t> { 2 }));
}

TEST_P (FirmwareImage, OpensWithTheBootBlockAsFourWordsAndClosesWithTheEndRecord)
{
    const auto& f = GetParam();
    ASSERT_GE (image.lines.size(), 6u);
    EXPECT_EQ (image.lines[0], ":020000040000fa");
    EXPECT_EQ (image.lines[1], ":020000041fc01b");
    EXPECT_EQ (image.lines.back(), ":00000001ff");

    ASSERT_GE (s.spans.size(), 4u);
    for (uint32_t word = 0; word < 4; ++word)
        EXPECT_EQ (s.spans[word], std::make_pair (f.bootFirst + 4 * word, f.bootFirst + 4 * word + 4));
}

TEST_P (FirmwareImage, ProgramsItsTwoRangesWithoutOverlapOrStraddling)
{
    const auto& f = GetParam();
    EXPECT_EQ (s.uppers, f.uppers);
    EXPECT_EQ (s.misaligned, 0);
    EXPECT_EQ (s.crossing64k, 0);

    auto spans = s.spans;
    std::sort (spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        ASSERT_LE (spans[i - 1].second, spans[i].first) << "two records write " << std::hex << spans[i].first;

    const auto boot = std::partition_point (spans.begin(), spans.end(), [&] (auto& span) { return span.first < f.bootFirst; });
    ASSERT_NE (boot, spans.begin());
    ASSERT_NE (boot, spans.end());
    EXPECT_EQ (spans.front().first, f.applicationFirst);
    EXPECT_EQ ((boot - 1)->second - 1, f.applicationLast);
    EXPECT_EQ (boot->first, f.bootFirst);
    EXPECT_EQ (spans.back().second - 1, f.bootLast);

    const auto applicationBytes = s.dataBytes - 16;
    EXPECT_LT (applicationBytes, f.applicationLast + 1 - f.applicationFirst) << "the application range has no gaps";
}

TEST_P (FirmwareImage, OpensSectionsWithAddressPairsAndStepsInto64kBlocksWithSingles)
{
    const auto& f = GetParam();
    EXPECT_EQ (s.pairs, f.pairs);
    EXPECT_EQ (s.zeroUppers, f.pairs) << "a 0x0000 record that opens no pair";
    EXPECT_EQ (s.singles, f.singles);
    EXPECT_EQ (s.singlesOffBoundary, 0);
    EXPECT_EQ (s.fallBacks, f.fallBacks);
}

std::set<uint32_t> mainUppers()
{
    std::set<uint32_t> uppers { 0x0000, 0x1fc0 };
    for (uint32_t u = 0x1d00; u <= 0x1d07; ++u)
        uppers.insert (u);
    return uppers;
}

INSTANTIATE_TEST_SUITE_P (
    Resources,
    FirmwareImage,
    testing::Values (
        ImageFigures { "main", BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size, 1287088, 28812, 28540, 271, 455724, mainUppers(), 0x1fc02ff0, 0x1fc02fff, 0x1d009180, 0x1d079527, 132, 7, 2 },
        ImageFigures { "comp", BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size, 79336, 1916, 1716, 199, 26816, { 0x0000, 0x1fc0, 0x1d00, 0x1d01 }, 0x1fc00bf0, 0x1fc00bff, 0x1d009180, 0x1d0109ef, 99, 1, 1 }),
    [] (const auto& info) { return std::string (info.param.name); });
} // namespace
