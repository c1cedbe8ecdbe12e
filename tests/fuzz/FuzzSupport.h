#pragma once

#include "BootLoader.h"

// What both fuzz targets share: one engine whose single connection attempt has failed (the
// simulated unit is told to be absent), so the fuzzing thread owns it and drives its frame
// layer and reply dispatch directly, and the checks every built frame must pass.
namespace zendravel::fuzz
{
// Fuzzing thread, once from LLVMFuzzerInitialize: it becomes JUCE's message thread (the
// engine's timer needs one), the unit becomes absent, and the engine is made.
void prepareProcess();

// The engine, put back into the state of a freshly made one with nothing selected. Making a
// real new engine for every input would cost a thread start each time and cut the fuzzer's
// pace tenfold.
BootLoader& freshEngine();

// Stops the fuzzer with a crash (which libFuzzer records with the input) when a check fails.
void require (bool condition, const char* what);

// The frame in outFrame, read back with the simulated unit's own decoder: it must be exactly
// one well-formed frame behind the report-id byte, for the command last given.
void requireWellFormedOutFrame (const BootLoader& engine);
} // namespace zendravel::fuzz
