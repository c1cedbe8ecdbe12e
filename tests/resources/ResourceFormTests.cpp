// The form of the embedded change-log text, picture, logo and font, read as raw bytes.

#include "BinaryData.h"
#include "LatoFont.h"
#include "QuindervaleLogoPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> splitAtCrLf (const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0;;)
    {
        const auto end = text.find ("\r\n", start);
        lines.push_back (text.substr (start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

struct Entry
{
    std::string header;
    int items = 0;
    int emptyLinesBefore = 0;
};

// Groups the lines into entries; anything that is neither header, item nor empty line is returned in strays.
std::vector<Entry> readEntries (const std::vector<std::string>& lines, std::vector<std::string>& strays)
{
    std::vector<Entry> entries;
    int emptyLines = 0;
    for (const auto& line : lines)
    {
        if (line.empty())
            ++emptyLines;
        else if (line.rfind ("* version ", 0) == 0)
        {
            entries.push_back ({ line, 0, emptyLines });
            emptyLines = 0;
        }
        else if (line.rfind ("- ", 0) == 0 && ! entries.empty() && emptyLines == 0)
            ++entries.back().items;
        else
            strays.push_back (line);
    }
    if (emptyLines != 0)
        strays.push_back ("(empty lines at the end)");
    return entries;
}

TEST (ChangelogText, IsAsciiWithCrLfBetweenLinesAndNoneAfterTheLast)
{
    const std::string text (BinaryData::temp_binary_data_2, static_cast<size_t> (BinaryData::temp_binary_data_2Size));
    EXPECT_EQ (text.size(), 1212u);
    EXPECT_TRUE (std::all_of (text.begin(), text.end(), [] (char c) { return c > 0 && static_cast<unsigned char> (c) < 0x80; }));

    const auto lines = splitAtCrLf (text);
    EXPECT_EQ (lines.size(), 32u);
    EXPECT_FALSE (lines.back().empty()) << "the text ends with a line end";
    for (const auto& line : lines)
        EXPECT_EQ (line.find_first_of ("\r\n"), std::string::npos) << "a lone CR or LF in: " << line;

    const auto longest = std::max_element (lines.begin(), lines.end(), [] (auto& a, auto& b) { return a.size() < b.size(); });
    EXPECT_EQ (longest->size(), 156u);
}

TEST (ChangelogText, ListsTheSixVersionsNewestFirstWithTheirItems)
{
    const std::vector<Entry> expected {
        { "* version 1.7 - 02/06/2022", 1, 0 },
        { "* version 1.6 - 18/11/2021", 4, 1 },
        { "* version 1.51 - 19/05/2021 (still appears as 1.5)", 1, 1 },
        { "* version 1.5 - 02/12/2020", 4, 1 },
        { "* version 1.4 - 26/08/2020", 6, 1 },
        { "* version A1.3/B1.0 - 09/06/2020", 4, 2 },
    };

    std::vector<std::string> strays;
    const auto entries = readEntries (splitAtCrLf (std::string (BinaryData::temp_binary_data_2, static_cast<size_t> (BinaryData::temp_binary_data_2Size))), strays);
    EXPECT_TRUE (strays.empty()) << strays.front();
    ASSERT_EQ (entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ (entries[i].header, expected[i].header);
        EXPECT_EQ (entries[i].items, expected[i].items) << expected[i].header;
        EXPECT_EQ (entries[i].emptyLinesBefore, expected[i].emptyLinesBefore) << expected[i].header;
    }
}

uint32_t bigEndian32 (const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*> (p);
    return uint32_t (b[0]) << 24 | uint32_t (b[1]) << 16 | uint32_t (b[2]) << 8 | b[3];
}

TEST (BackgroundPicture, IsA600By400NonInterlacedRgbaPng)
{
    const char* png = BinaryData::temp_binary_data_3;
    ASSERT_GT (BinaryData::temp_binary_data_3Size, 33);
    EXPECT_EQ (std::memcmp (png, "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ (bigEndian32 (png + 8), 13u);
    EXPECT_EQ (std::memcmp (png + 12, "IHDR", 4), 0);
    EXPECT_EQ (bigEndian32 (png + 16), 600u);
    EXPECT_EQ (bigEndian32 (png + 20), 400u);
    EXPECT_EQ (png[24], 8) << "bit depth";
    EXPECT_EQ (png[25], 6) << "colour type RGBA";
    EXPECT_EQ (png[28], 0) << "interlace";
}

TEST (LogoPath, UsesOnlyWindingMoveLineCubicAndCloseAndEndsWithTheEndMarkerAndTwoZeros)
{
    const auto* data = reinterpret_cast<const unsigned char*> (quindervaleLogoPath);
    const auto size = static_cast<size_t> (quindervaleLogoPathSize);
    std::set<char> markers;
    size_t position = 0;
    while (position < size && data[position] != 'e')
    {
        const auto marker = static_cast<char> (data[position]);
        markers.insert (marker);
        const auto floats = std::string ("nc").find (marker) != std::string::npos ? 0 : marker == 'b' ? 6 : 2;
        ASSERT_NE (std::string ("nmlbc").find (marker), std::string::npos) << "marker " << int (data[position]) << " at " << position;
        position += 1 + 4 * static_cast<size_t> (floats);
    }
    EXPECT_EQ (markers, (std::set<char> { 'n', 'm', 'l', 'b', 'c' }));
    EXPECT_EQ (data[0], 'n') << "the winding rule comes first";
    EXPECT_EQ (position + 3, size) << "the end marker and two zero bytes close the data";
    ASSERT_LT (position + 2, size);
    EXPECT_EQ (data[position + 1], 0);
    EXPECT_EQ (data[position + 2], 0);
}

TEST (LatoFont, IsSubstantialTrueTypeData)
{
    ASSERT_GT (LatoFont::temp_binary_data_0Size, 100000);
    EXPECT_EQ (std::memcmp (LatoFont::temp_binary_data_0, "\x00\x01\x00\x00", 4), 0);
}
} // namespace
