// Arbitrary image text through the HEX reader and the program frames built from it. Whatever a
// line holds (no colon, odd digit counts, non-hex characters, stray CR, LF and zero bytes,
// lines far longer than any frame), the reader must count the lines the stream yields, never
// write past the room it is given, and every program frame it feeds must fit and be well-formed.
#include "FuzzSupport.h"

#include <cstdint>
#include <iterator>
#include <vector>

namespace
{
using zendravel::fuzz::require;

juce::uint32 linesTheStreamYields (const std::uint8_t* data, size_t size)
{
    juce::MemoryInputStream stream (data, size, false);
    juce::uint32 lines = 0;

    while (! stream.isExhausted())
    {
        stream.readNextLine();
        ++lines;
    }

    return lines;
}

// Program frames from the first line on, as the engine sends them reply after reply, until the
// reader has nothing more. Every frame consumes at least one line, so the walk ends.
void sendProgramFrames (BootLoader& engine)
{
    const auto lines = engine.hexManager.totalLines;
    engine.rewindImage = true;

    for (juce::uint32 frame = 0; frame <= lines; ++frame)
    {
        if (! engine.SendCommand (CommandProgram, BootLoader::kEngineRetries, BootLoader::kEngineRetryIntervalMs))
        {
            require (engine.outFrameLength == 0, "a refused frame leaves no frame behind");
            require (engine.hexManager.currentRecord <= lines, "no more records than lines");
            return;
        }

        zendravel::fuzz::requireWellFormedOutFrame (engine);
        engine.rewindImage = false;
    }

    require (false, "the reader ran out of lines");
}

// Every line again, each read into a buffer of exactly the capacity given, so a write past it
// is caught. The capacities run through the edges: none, one byte, an odd and a typical count.
void readRecordsIntoTightBuffers (CHexManager& reader)
{
    static constexpr unsigned int capacities[] = { 0, 1, 2, 5, 21, 43, 997 };
    require (reader.Rewind(), "an image with a stream rewinds");

    for (size_t line = 0; line <= reader.totalLines; ++line)
    {
        const auto capacity = capacities[line % std::size (capacities)];
        std::vector<char> buffer (capacity);

        if (reader.GetNextHexRecord (buffer.data(), capacity) == 0 && reader.hexStream->isExhausted())
            return;
    }

    require (false, "the reader ran out of lines");
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    zendravel::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    auto& engine = zendravel::fuzz::freshEngine();
    engine.hexManager.SelectImage (data, size);
    require (engine.hexManager.totalLines == linesTheStreamYields (data, size), "the line count matches the stream");

    sendProgramFrames (engine);
    readRecordsIntoTightBuffers (engine.hexManager);
    return 0;
}
