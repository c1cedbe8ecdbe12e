#include "Hex.h"

#include <algorithm>
#include <cstring>

// The line last read. One for the program: only one engine reads an image at a time.
static juce::String nextLine;

namespace
{
// Beyond this capacity a 16-bit result could no longer tell "did not fit" from a byte count.
constexpr unsigned int kLargestRecordBytes = 0xFFFE;

size_t CountOccurrences (const char* data, size_t size, char value)
{
    size_t count = 0;
    const char* const end = data + size;

    for (auto* found = static_cast<const char*> (std::memchr (data, value, size));
         found != nullptr;
         found = static_cast<const char*> (std::memchr (found + 1, value, (size_t) (end - found - 1))))
        ++count;

    return count;
}

size_t CountCrLfPairs (const char* data, size_t size)
{
    size_t count = 0;
    const char* const end = data + size;

    for (auto* cr = static_cast<const char*> (std::memchr (data, '\r', size));
         cr != nullptr;
         cr = static_cast<const char*> (std::memchr (cr + 1, '\r', (size_t) (end - cr - 1))))
    {
        if (cr + 1 < end && cr[1] == '\n')
            ++count;
    }

    return count;
}

bool IsLineEnd (char c)
{
    return c == '\n' || c == '\r' || c == '\0';
}

// A digit pair converts leniently: a digit followed by a non-digit gives that digit's value,
// anything else in front gives 0. The unit judges the record, not the reader.
unsigned char PairValue (char first, char second)
{
    const int high = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) first);

    if (high < 0)
        return 0;

    const int low = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) second);
    return (unsigned char) (low < 0 ? high : high * 16 + low);
}
} // namespace

juce::uint32 CHexManager::CountLines (const void* data, size_t size)
{
    if (size == 0)
        return 0;

    // Every LF, CR and zero byte ends a line, except an LF that completes a CR LF. This gives
    // readNextLine's count with a few memchr scans; reading 28,812 lines as strings would
    // hold up the message thread for several milliseconds.
    const auto* bytes = static_cast<const char*> (data);
    const size_t lineEnds = CountOccurrences (bytes, size, '\n')
                            + CountOccurrences (bytes, size, '\r')
                            + CountOccurrences (bytes, size, '\0')
                            - CountCrLfPairs (bytes, size);
    const size_t unendedLastLine = IsLineEnd (bytes[size - 1]) ? 0 : 1;
    return (juce::uint32) (lineEnds + unendedLastLine);
}

void CHexManager::SelectImage (const void* imageData, size_t imageSize)
{
    hexStream = std::make_unique<juce::MemoryInputStream> (imageData, imageSize, false);
    totalLines = CountLines (imageData, imageSize);
    hexStream->setPosition ((juce::int64) imageSize);
}

bool CHexManager::Rewind()
{
    if (hexStream == nullptr)
        return false;

    currentRecord = 0;
    return hexStream->setPosition (0);
}

unsigned short CHexManager::GetNextHexRecord (char* buffer, unsigned int capacity)
{
    if (hexStream == nullptr || hexStream->isExhausted())
        return 0;

    lastLineStart = hexStream->getPosition();
    nextLine = hexStream->readNextLine();
    const char* text = nextLine.toRawUTF8();

    if (text[0] != ':')
        return 0;

    ++currentRecord;
    jassert (capacity <= kLargestRecordBytes);
    const size_t pairs = (nextLine.getNumBytesAsUTF8() - 1) / 2;

    if (pairs > capacity)
        return (unsigned short) std::min (pairs, (size_t) kLargestRecordBytes + 1);

    const char* digits = text + 1;

    for (size_t k = 0; k < pairs; ++k)
        buffer[k] = (char) PairValue (digits[2 * k], digits[2 * k + 1]);

    return (unsigned short) pairs;
}

void CHexManager::UnreadLastRecord()
{
    jassert (hexStream != nullptr && currentRecord > 0);
    hexStream->setPosition (lastLineStart);
    --currentRecord;
}

bool CHexManager::AllRecordsDelivered() const
{
    return hexStream != nullptr && hexStream->isExhausted()
           && totalLines > 0 && currentRecord == totalLines;
}
