#include "FuzzSupport.h"

#include "MainComponent.h"
#include "SimulatedUnit.h"
#include "UnitFraming.h"

#include <juce_events/juce_events.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zendravel::fuzz
{
namespace
{
// Lives until the process exits: libFuzzer ends the run with exit().
MainContentComponent* owner = nullptr;
BootLoader* engine = nullptr;
} // namespace

void prepareProcess()
{
    juce::MessageManager::getInstance();

    sim::Config absent;
    absent.absentOpens = std::numeric_limits<int>::max();
    sim::SimulatedUnit::instance().configure (absent);

    owner = new MainContentComponent();
    engine = new BootLoader (owner, kVendorId, kProductId);
    require (engine->waitForThreadToExit (5000), "the transfer thread ends after a failed open");
}

BootLoader& freshEngine()
{
    auto& e = *engine;
    BootLoader::Escape = false;

    e.outFrameLength = 0;
    e.lastCommand = 0;
    e.retriesPerCommand = e.retriesLeft = e.retryIntervalMs = 0;
    std::memset (e.outFrame, 0, sizeof (e.outFrame));
    e.sendState = Ready;
    e.replyTimedOut = false;

    e.inFrameComplete = false;
    e.inFrameLength = 0;
    std::memset (e.inFrame, 0, sizeof (e.inFrame));

    e.rewindImage = true;
    e.hexManager.hexStream.reset();
    e.hexManager.totalLines = e.hexManager.currentRecord = 0;
    e.mainImageSelected = e.compImageSelected = false;

    e.statusChanged = false;
    e.programmingFinished = false;
    e.pendingProgress = BootLoader::kNoPendingProgress;
    return e;
}

void require (bool condition, const char* what)
{
    if (condition)
        return;

    std::fprintf (stderr, "check failed: %s\n", what);
    std::abort();
}

void requireWellFormedOutFrame (const BootLoader& e)
{
    const auto length = (size_t) e.outFrameLength;
    require (length <= BootLoader::kOutFrameSize, "outFrameLength within outFrame");
    require (length >= 6, "an armed frame holds report id, start, command, CRC and end");
    require (e.outFrame[0] == 0, "report id 0 in front of the frame");

    sim::FrameDecoder decoder;
    const auto frames = decoder.feed (e.outFrame + 1, length - 1);
    require (frames.size() == 1 && frames.front().wellFormed, "exactly one well-formed frame");
    require (frames.front().payload.front() == (std::uint8_t) e.lastCommand, "the frame carries the last command");
}
} // namespace zendravel::fuzz
