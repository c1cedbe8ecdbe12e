#pragma once

#include "BinaryData.h"
#include "BootLoader.h"
#include "IntelHexImage.h"
#include "MainComponent.h"
#include "SimulatedUnit.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class Image
{
    main,
    comp
};

// Which state the screen is in while a part's image goes out, and which the engine moves it to.
struct Part
{
    Image image;
    int bootloaderKind;
    AppState updating;
    AppState done;
};

constexpr Part kPart1 { Image::main, 1, Part1Updating, Part1Done };
constexpr Part kPart2 { Image::comp, 2, Part2Updating, AllDone };

std::string imageText (Image image);
const IntelHexImage& parsedImage (Image image);
// Records carried by each program frame of the image, in order.
std::vector<int> recordsPerProgramFrame (Image image);
int programFrames (Image image);

// The unit's flash compared byte for byte with the image's data.
testing::AssertionResult flashHolds (const zendravel::sim::FlashMemory::Runs& flash, const IntelHexImage& image);

// The real engine against the simulated unit, with a minimal owner in the screen's place.
// The test thread is the message thread: every wait pumps it, so the engine's timer and the
// owner's asynchronous updates run as they would in the program.
class EngineAgainstUnit : public testing::Test
{
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override;
    void TearDown() override;

    static zendravel::sim::SimulatedUnit& unit() { return zendravel::sim::SimulatedUnit::instance(); }

    // A fresh owner and engine, as the screen makes them for one connection attempt.
    void startEngine (const zendravel::sim::Config& config, Image image);
    void deleteEngine();

    // What the screen does once the engine has said "Device connected".
    void startExchange (AppState updating);

    // Pumps the message thread until done() holds or timeoutMs has passed; true if it held.
    bool pumpUntil (const std::function<bool()>& done, int timeoutMs);
    void pumpFor (int ms);
    bool waitForStatus (const juce::String& text, int timeoutMs);

    // Milliseconds since the engine was made, or since startExchange.
    double msSinceEngineStart() const;
    double msSinceExchangeStart() const;

    // Starts the part's exchange, waits for the done state and checks that the whole image
    // arrived, byte for byte, with progress exactly 1 and one state change. The commands the
    // unit must have seen are given, since faults change them.
    void expectWholeImageSent (const Part& part, const std::vector<int>& expectedCommands);

    // What the unit receives when every frame goes out once: 1, 2, then every program frame.
    static std::vector<int> commandsOfOneTransfer (Image image);

    // Every text handed to the owner, in order (the same text twice in a row shows once).
    std::vector<juce::String> statuses;

    std::unique_ptr<MainContentComponent> owner;
    std::unique_ptr<BootLoader> engine;
    Clock::time_point engineStart;
    Clock::time_point exchangeStart;
};
