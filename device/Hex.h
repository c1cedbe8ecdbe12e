#pragma once

#include <juce_core/juce_core.h>

#include <memory>

// Reads an Intel HEX image one record at a time, as the raw bytes of its hex digit pairs.
// Records are not interpreted: checksums, types and addresses are the unit's business.
class CHexManager final
{
public:
    CHexManager() = default;

    // Message thread. Replaces the stream by one over the image (read in place, not copied),
    // counts its lines into totalLines and leaves the stream at its end, so nothing can be
    // read before the next Rewind. currentRecord is left alone.
    void SelectImage (const void* imageData, size_t imageSize);

    // Transfer thread. Back to the first line, with currentRecord 0. Fails without a stream.
    bool Rewind();

    // Transfer thread. Reads the next line; if it is a record, writes its bytes (byte count,
    // address, type, data, checksum) to buffer and returns how many. Never writes more than
    // capacity (at most 65534) bytes: a record that does not fit writes nothing and returns
    // a count above capacity. 0 means nothing was written: end of image, a line without a
    // leading colon, or fewer than two characters behind the colon.
    unsigned short GetNextHexRecord (char* buffer, unsigned int capacity);

    // Transfer thread. Steps back over the record that the last GetNextHexRecord delivered,
    // so that the next read returns it again.
    void UnreadLastRecord();

    // True once every line since the last rewind went out as a record and none is left:
    // the only state in which a refused program frame means the image is complete.
    bool AllRecordsDelivered() const;

    // The number of lines juce::InputStream::readNextLine finds in the data (a line ends at
    // LF, CR, CR LF or a zero byte; a last line without an end counts), without reading them.
    static juce::uint32 CountLines (const void* data, size_t size);

    std::unique_ptr<juce::MemoryInputStream> hexStream;
    juce::uint32 totalLines = 0;
    juce::uint32 currentRecord = 0;

private:
    juce::int64 lastLineStart = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CHexManager)
};
