// Writes a PNG of the main screen, controls included, in each of its fourteen steps and in a
// step outside them:  zendravel_snapshots [output directory]  (default: ./snapshots).
#include <juce_gui_basics/juce_gui_basics.h>

#include "MainComponent.h"
#include "SimulatedUnit.h"

#include <functional>
#include <iostream>

namespace
{
struct Snapshot
{
    const char* fileName;
    std::function<void (MainContentComponent&)> reach;
};

void pumpMessages (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

// The way the engine's first status gets a waiting step into its transfer.
void startTransfer (MainContentComponent& screen, AppState waiting)
{
    screen.setState (waiting);
    screen.currentStatus = "Device connected";
    screen.handleAsyncUpdate();
}

std::function<void (MainContentComponent&)> enter (AppState step)
{
    return [step] (MainContentComponent& screen) { screen.setState (step); };
}

const Snapshot snapshots[] = {
    { "00-welcome.png", enter (Welcome) },
    { "01-connect-instructions.png", enter (ConnectInstructions) },
    { "02-part1-waiting.png", enter (Part1Waiting) },
    { "03-part1-unable-to-connect.png", enter (Part1UnableToConnect) },
    { "04-part1-wrong-bootloader.png", enter (Part1WrongBootloader) },
    { "05-part1-wrong-device.png", enter (Part1WrongDevice) },
    { "06-part1-updating.png", [] (MainContentComponent& screen) {
         startTransfer (screen, Part1Waiting);
         screen.currentStatus = "Programming...";
         screen.progressValue = 0.5;
         // Long enough for the progress bar's own timer to take up the new value, and well
         // inside the 2 s after which the engine would report that no unit answered.
         pumpMessages (1000);
     } },
    { "07-part1-done.png", enter (Part1Done) },
    { "08-part2-waiting.png", enter (Part2Waiting) },
    { "09-part2-unable-to-connect.png", enter (Part2UnableToConnect) },
    { "10-part2-wrong-bootloader.png", enter (Part2WrongBootloader) },
    { "11-part2-wrong-device.png", enter (Part2WrongDevice) },
    { "12-part2-updating.png", [] (MainContentComponent& screen) {
         startTransfer (screen, Part2Waiting);
         // Lets the bar take up the busy value and draw its stripes.
         pumpMessages (200);
     } },
    { "13-all-done.png", enter (AllDone) },
    { "14-out-of-range.png", enter (static_cast<AppState> (14)) },
};

void configureNoUnitAttached()
{
    zendravel::sim::Config config;
    config.absentOpens = 1 << 30;
    zendravel::sim::SimulatedUnit::instance().configure (config);
}

bool writePng (const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream (image, out);
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juceGui;
    configureNoUnitAttached();

    const auto outputDir = juce::File::getCurrentWorkingDirectory().getChildFile (argc > 1 ? argv[1] : "snapshots");

    if (! outputDir.createDirectory())
    {
        std::cerr << "cannot create " << outputDir.getFullPathName() << "\n";
        return 1;
    }

    for (const auto& snapshot : snapshots)
    {
        MainContentComponent screen;
        snapshot.reach (screen);

        const auto file = outputDir.getChildFile (snapshot.fileName);

        if (! writePng (screen.createComponentSnapshot (screen.getLocalBounds()), file))
        {
            std::cerr << "cannot write " << file.getFullPathName() << "\n";
            return 1;
        }

        std::cout << file.getFullPathName() << "\n";
    }

    return 0;
}
