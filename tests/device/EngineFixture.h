#pragma once

#include "BootLoader.h"
#include "MainComponent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using Bytes = std::vector<unsigned char>;

// An engine whose transfer thread has already given up on the (absent) device, so the test
// thread can drive its frame layer, dispatch and timer directly.
class EngineTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // The escape flag is program-wide and outlives engines; each test starts clean.
        BootLoader::Escape = false;
        engine = std::make_unique<BootLoader> (&owner, kVendorId, kProductId);
        ASSERT_TRUE (engine->waitForThreadToExit (5000));
    }

    void TearDown() override { engine.reset(); }

    Bytes OutFrame() const { return { engine->outFrame, engine->outFrame + engine->outFrameLength }; }
    Bytes InFrame() const { return { engine->inFrame, engine->inFrame + engine->inFrameLength }; }

    // Selects an in-memory image in place of the embedded ones.
    void SelectImage (const char* text)
    {
        engine->hexManager.SelectImage (text, std::strlen (text));
    }

    void Feed (Bytes report)
    {
        engine->BuildRxFrame (report.data(), (unsigned short) report.size());
    }

    // One receive step of the transfer loop with the report as it came from the device.
    void Receive (Bytes report)
    {
        engine->HandleInputReport (report.data(), (unsigned short) report.size());
    }

    // A reply as the unit would frame it: payload, CRC low and high byte, all escaped.
    static Bytes ReplyFrame (Bytes payload)
    {
        const auto crc = BootLoader::CalculateCrc (payload.data(), payload.size());
        payload.push_back ((unsigned char) (crc & 0xFF));
        payload.push_back ((unsigned char) (crc >> 8));

        Bytes wire { kFrameStart };

        for (auto byte : payload)
        {
            if (byte == kFrameStart || byte == kFrameEnd || byte == kFrameEscape)
                wire.push_back (kFrameEscape);

            wire.push_back (byte);
        }

        wire.push_back (kFrameEnd);
        return wire;
    }

    // The unescaped payload of an output frame, without its CRC.
    static Bytes PayloadOf (const Bytes& outFrame)
    {
        Bytes payload;

        for (size_t i = 2; i + 1 < outFrame.size(); ++i)
        {
            if (outFrame[i] == kFrameEscape)
                ++i;

            payload.push_back (outFrame[i]);
        }

        payload.resize (payload.size() - 2);
        return payload;
    }

    juce::String TakeStatus()
    {
        const juce::ScopedLock sl (engine->statusLock);
        engine->statusChanged = false;
        return engine->statusText;
    }

    MainContentComponent owner;
    std::unique_ptr<BootLoader> engine;
};
