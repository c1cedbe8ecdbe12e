// Arbitrary input reports from the unit, fed through the engine's receive path as the transfer
// loop runs it: de-frame, dispatch a completed reply or report a time-out, then transmit. No
// report may make the engine read or write outside a buffer, arm a frame that is not one, or
// signal a finished image before every record of it was acknowledged.
//
// Input: one set-up byte, then steps. Set-up: bits 0-1 choose the image (a three-record image
// whose end a few replies reach, the comp image, the main image, or none), bits 2-6 the
// transmissions of command 1 (1 to 30; one makes the time-out path reachable at once). A step
// byte of 0 to 245 is the length of a report whose bytes follow; kReadError stands for a failed
// read (a count of -1, which reaches the de-framer as 65535); the rest for a read that found
// nothing queued.
#include "FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace
{
using zendravel::fuzz::require;

constexpr char kShortImage[] = ":020000040000fa\r\n:0400000001020304f2\r\n:00000001ff\r\n";
constexpr std::uint8_t kReadError = 0xff;

void selectImage (BootLoader& engine, int choice)
{
    switch (choice)
    {
        case 0:
            // Taken as the main image, which bootloader kind 1 accepts.
            engine.mainImageSelected = true;
            engine.hexManager.SelectImage (kShortImage, sizeof (kShortImage) - 1);
            break;

        case 1:
            engine.LoadCompHexFile();
            break;

        case 2:
            engine.LoadMainHexFile();
            break;

        default:
            break;
    }
}

// The receive step of one pass, with the report in a buffer of exactly its size, so reading
// past the report's end is caught.
void receive (BootLoader& engine, const std::uint8_t* bytes, size_t count)
{
    std::vector<unsigned char> report (bytes, bytes + count);
    engine.HandleInputReport (report.data(), (unsigned short) count);
}

void receiveReadError (BootLoader& engine)
{
    unsigned char report[BootLoader::kInputReportSize] = {};
    engine.HandleInputReport (report, (unsigned short) -1);
}

void checkEngine (BootLoader& engine)
{
    require (engine.inFrameLength <= BootLoader::kInFrameResetLength, "inFrameLength stays below the reset length");

    if (engine.retriesLeft > 0)
        zendravel::fuzz::requireWellFormedOutFrame (engine);

    // A finished image is signalled with the share of records acknowledged; it must be all of them.
    if (engine.programmingFinished.exchange (false))
    {
        require (engine.hexManager.AllRecordsDelivered(), "finished only when every record went out");
        require (engine.pendingProgress.load() == 1.0, "finished with progress exactly 1");
    }

    const double progress = engine.pendingProgress.load();
    require (progress == BootLoader::kNoPendingProgress || (progress >= 0.0 && progress <= 1.0), "progress is a share");
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    zendravel::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;

    auto& engine = zendravel::fuzz::freshEngine();
    selectImage (engine, data[0] & 0x03);

    const auto commandOneTransmissions = (unsigned short) (1 + ((data[0] >> 2) & 0x1f) % 30);
    engine.SendCommand (CommandQueryDevice, commandOneTransmissions, 200);

    for (size_t position = 1; position < size;)
    {
        const auto step = data[position++];

        if (step <= BootLoader::kInputReportSize)
        {
            const auto count = std::min ((size_t) step, size - position);
            receive (engine, data + position, count);
            position += count;
        }
        else if (step == kReadError)
        {
            receiveReadError (engine);
        }
        else
        {
            receive (engine, data + position, 0);
        }

        engine.TransmitTask();
        checkEngine (engine);
    }

    return 0;
}
