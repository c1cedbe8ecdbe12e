#include "EngineFixture.h"

#include <algorithm>
#include <sstream>

std::string imageText (Image image)
{
    return image == Image::main ? std::string (BinaryData::temp_binary_data_0, (size_t) BinaryData::temp_binary_data_0Size)
                                : std::string (BinaryData::temp_binary_data_1, (size_t) BinaryData::temp_binary_data_1Size);
}

const IntelHexImage& parsedImage (Image image)
{
    static const IntelHexImage main = readIntelHex (imageText (Image::main));
    static const IntelHexImage comp = readIntelHex (imageText (Image::comp));
    return image == Image::main ? main : comp;
}

std::vector<int> recordsPerProgramFrame (Image image)
{
    // Two records a frame, except that an address record behind a data record waits for the
    // next frame, so that a frame sent again never moves the data it carries.
    const auto& types = parsedImage (image).recordTypes;
    std::vector<int> frames;

    for (std::size_t next = 0; next < types.size();)
    {
        const bool dataFirst = types[next++] == 0x00;
        const bool addressSecond = next < types.size() && types[next] == 0x04;
        const bool pair = next < types.size() && ! (dataFirst && addressSecond);
        next += pair ? 1 : 0;
        frames.push_back (pair ? 2 : 1);
    }

    return frames;
}

int programFrames (Image image)
{
    return (int) recordsPerProgramFrame (image).size();
}

namespace
{
// AssertionResult formats every value on its own, so a std::hex in the chain is lost.
std::string hex (unsigned int value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}
} // namespace

testing::AssertionResult flashHolds (const zendravel::sim::FlashMemory::Runs& flash, const IntelHexImage& image)
{
    auto expected = image.data.begin();
    std::size_t bytes = 0;

    for (const auto& [start, run] : flash)
    {
        for (std::size_t i = 0; i < run.size(); ++i, ++expected, ++bytes)
        {
            const auto address = static_cast<std::uint32_t> (start + i);

            if (expected == image.data.end())
                return testing::AssertionFailure() << "flash holds more than the image, from " << hex (address);

            if (expected->first != address || expected->second != run[i])
                return testing::AssertionFailure() << "first difference: flash " << hex (address) << " = " << hex (run[i])
                                                   << ", image " << hex (expected->first) << " = " << hex (expected->second);
        }
    }

    if (expected != image.data.end())
        return testing::AssertionFailure() << "flash holds " << bytes << " bytes, the image " << image.data.size()
                                           << "; missing from " << hex (expected->first);

    return testing::AssertionSuccess();
}

void EngineAgainstUnit::SetUp()
{
    // The de-framer's escape flag is program-wide; a test must not inherit another's.
    BootLoader::Escape = false;
}

void EngineAgainstUnit::TearDown()
{
    deleteEngine();
    owner.reset();
    unit().reset();
}

void EngineAgainstUnit::startEngine (const zendravel::sim::Config& config, Image image)
{
    deleteEngine();
    unit().configure (config);
    statuses.clear();
    owner = std::make_unique<MainContentComponent>();
    engineStart = Clock::now();
    engine = std::make_unique<BootLoader> (owner.get(), kVendorId, kProductId);

    if (image == Image::main)
        engine->LoadMainHexFile();
    else
        engine->LoadCompHexFile();
}

void EngineAgainstUnit::deleteEngine()
{
    engine.reset();
}

void EngineAgainstUnit::startExchange (AppState updating)
{
    ASSERT_TRUE (waitForStatus ("Device connected", 3000)) << "last status: " << owner->currentStatus;
    owner->state = updating;
    owner->progressValue = -1.0;
    exchangeStart = Clock::now();
    ASSERT_TRUE (engine->SendCommand (CommandQueryDevice, 30, 200));
}

bool EngineAgainstUnit::pumpUntil (const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);

    for (;;)
    {
        if (owner != nullptr && (statuses.empty() || statuses.back() != owner->currentStatus) && owner->currentStatus.isNotEmpty())
            statuses.push_back (owner->currentStatus);

        if (done())
            return true;

        if (Clock::now() >= deadline)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
    }
}

void EngineAgainstUnit::pumpFor (int ms)
{
    pumpUntil ([] { return false; }, ms);
}

bool EngineAgainstUnit::waitForStatus (const juce::String& text, int timeoutMs)
{
    return pumpUntil ([this, text] { return owner->currentStatus == text; }, timeoutMs);
}

double EngineAgainstUnit::msSinceEngineStart() const
{
    return std::chrono::duration<double, std::milli> (Clock::now() - engineStart).count();
}

double EngineAgainstUnit::msSinceExchangeStart() const
{
    return std::chrono::duration<double, std::milli> (Clock::now() - exchangeStart).count();
}

std::vector<int> EngineAgainstUnit::commandsOfOneTransfer (Image image)
{
    std::vector<int> commands { CommandQueryDevice, CommandErase };
    commands.insert (commands.end(), (std::size_t) programFrames (image), CommandProgram);
    return commands;
}

void EngineAgainstUnit::expectWholeImageSent (const Part& part, const std::vector<int>& expectedCommands)
{
    startExchange (part.updating);
    ASSERT_TRUE (pumpUntil ([this, &part] { return owner->state == part.done; }, 300000))
        << "state " << owner->state << ", status " << owner->currentStatus << ", progress " << owner->progressValue;

    EXPECT_EQ (owner->stateChanges, std::vector<AppState> { part.done });
    EXPECT_EQ (owner->progressValue, 1.0);

    // The road's texts in order, whatever else came between them. "Erasing..." is not among
    // them: the erase reply follows within the same 50 ms tick, and texts of one tick collapse.
    auto position = statuses.begin();

    for (const auto* text : { "Device connected", "Programming..." })
    {
        position = std::find (position, statuses.end(), text);
        EXPECT_TRUE (position != statuses.end()) << text << " missing in: " << juce::StringArray (statuses.data(), (int) statuses.size()).joinIntoString (" | ");
    }

    EXPECT_TRUE (std::find (statuses.begin(), statuses.end(), "Wrong device.") == statuses.end());

    const auto& image = parsedImage (part.image);
    const auto report = unit().report();
    EXPECT_TRUE (report.erased);
    EXPECT_TRUE (report.endOfFile);
    EXPECT_EQ (report.errors, 0);
    EXPECT_EQ (report.badFrames, 0);
    EXPECT_EQ (report.records, image.records + (int) (std::count (expectedCommands.begin(), expectedCommands.end(), CommandProgram) - programFrames (part.image)) * 2);
    EXPECT_EQ (report.commands, expectedCommands);
    EXPECT_TRUE (flashHolds (report.flash, image));

    // The owner deletes the engine in the asynchronous update that follows; the unit is closed.
    deleteEngine();
    EXPECT_FALSE (unit().isOpen());
    EXPECT_EQ (unit().openAttempts(), 1);
    EXPECT_EQ (unit().closeCalls(), 1);
    EXPECT_EQ (unit().exitCalls(), 1);
    EXPECT_EQ (unit().handleMisuses(), 0);
}
