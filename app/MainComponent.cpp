#include "MainComponent.h"

#include "BootLoader.h"
#include "QuindervaleLogoPath.h"

namespace
{
constexpr auto welcomeText = "Welcome to Quindervale Orvalith firmware updater.\n\n"
                             "This software will guide you thru two step process\nof updating your Orvalith to version 1.7.\n"
                             "Please follow the on screen instructions precisely\nand make sure you perform all steps completely.\n"
                             "If you encounter any errors or problems - start over again\nor contact us directly at "
                             "www.quindervale.com"
                             ".";

constexpr auto connectionText = "1. Connect the Orvalith to your PC/MAC\nwith the USB cable.\n"
                                "2. Make sure that only one Orvalith\nis connected at the time.\n"
                                "3. Turn off the unit and click the button below.";

constexpr auto automaticStartText = "2. Firmware update should start automatically.\nIf does not, click the button below.";

const juce::String part1Instructions = juce::String ("\n\n1. While holding ENGAGE button and P1 knob,\nturn the Orvalith on with MAINS button.\n"
                                                     "The Bootloader screen will appear.\n")
                                       + automaticStartText;

const juce::String part2Instructions = juce::String ("\n\n1. While holding ENGAGE button and P2 knob,\nturn the Orvalith on with MAINS button.\n"
                                                     "The Bootloader screen will appear.\n")
                                       + automaticStartText;

constexpr auto congratulationsText = "Congratulations!\nYour Orvalith has been updated with recent firmware.\n"
                                     "Please restart the unit and exit this application.\nEnjoy!";

constexpr auto turnOffText = "Please turn off the unit and click the button below.";

constexpr auto part1Heading = "FIRMWARE UPDATE PART 1 of 2.";
constexpr auto part1DoneHeading = "FIRMWARE UPDATE PART 1 of 2 COMPLETED.";
constexpr auto part2Heading = "FIRMWARE UPDATE PART 2 of 2.";
constexpr auto part2DoneHeading = "FIRMWARE UPDATE PART 2 of 2 COMPLETED.";

constexpr auto unableToConnectLine = "Unable to connect to the unit. Please try again.";
constexpr auto wrongBootloaderLine = "Wrong bootloader has been opened. Please try again.";
constexpr auto wrongDeviceLine = "Wrong device has been connected. Please try again.";

// Status texts of the engine that move the screen to another step.
constexpr auto unableToConnectStatus = "Unable to connect";
constexpr auto wrongBootloaderStatus = "Wrong boot loader.";
constexpr auto wrongDeviceStatus = "Wrong device.";

constexpr auto checkingDeviceStatus = "Checking device...";

constexpr float textHeight = 20.0f;
constexpr int errorLineMaxLines = 2;
constexpr int bodyMaxLines = 10;
// Zero lets the framework pick its default squeeze before it wraps or truncates.
constexpr float frameworkMinimumHorizontalScale = 0.0f;

const juce::Colour part1Colour = juce::Colours::red;
const juce::Colour part2Colour = juce::Colours::blue;
const juce::Colour errorLineColour = juce::Colours::red;
const juce::Colour panelColour { 0x99000000 };

struct StepTexts
{
    juce::String heading;
    juce::Colour headingColour;
    int headingMaxLines = 1;
    juce::String errorLine;
    juce::String body;
};

StepTexts textsForStep (int step, const juce::String& status)
{
    switch (step)
    {
        case Welcome:              return { {}, {}, 1, {}, welcomeText };
        case ConnectInstructions:  return { {}, {}, 1, {}, connectionText };
        case Part1Waiting:         return { part1Heading, part1Colour, 1, {}, part1Instructions };
        case Part1UnableToConnect: return { part1Heading, part1Colour, 2, unableToConnectLine, part1Instructions };
        case Part1WrongBootloader: return { part1Heading, part1Colour, 2, wrongBootloaderLine, part1Instructions };
        case Part1WrongDevice:     return { part1Heading, part1Colour, 2, wrongDeviceLine, part1Instructions };
        case Part1Updating:        return { part1Heading, part1Colour, 1, {}, status };
        case Part1Done:            return { part1DoneHeading, part1Colour, 1, {}, turnOffText };
        case Part2Waiting:         return { part2Heading, part2Colour, 1, {}, part2Instructions };
        case Part2UnableToConnect: return { part2Heading, part2Colour, 2, unableToConnectLine, part2Instructions };
        case Part2WrongBootloader: return { part2Heading, part2Colour, 2, wrongBootloaderLine, part2Instructions };
        case Part2WrongDevice:     return { part2Heading, part2Colour, 2, wrongDeviceLine, part2Instructions };
        case Part2Updating:        return { part2Heading, part2Colour, 1, {}, status };
        case AllDone:              return { part2DoneHeading, part2Colour, 1, {}, congratulationsText };
        default:                   return {};
    }
}

enum class EngineAction
{
    keep,
    replaceWithMainImage,
    replaceWithCompImage,
    drop
};

struct StepControls
{
    const char* caption;
    EngineAction engine;
};

// Indexed by AppState. The two updating steps never come through here (see enterStep).
constexpr StepControls stepControls[] = {
    { "START", EngineAction::keep },
    { "CONTINUE", EngineAction::keep },
    { "UPDATE PART 1", EngineAction::replaceWithMainImage },
    { "RETRY PART 1", EngineAction::replaceWithMainImage },
    { "RETRY PART 1", EngineAction::drop },
    { "RETRY PART 1", EngineAction::drop },
    { "", EngineAction::keep },
    // The engine's own timer enters the two completed steps, so the engine must survive
    // them; the update that the timer requests right after releases it.
    { "PROCEED TO PART 2", EngineAction::keep },
    { "UPDATE PART 2", EngineAction::replaceWithCompImage },
    { "RETRY PART 2", EngineAction::replaceWithCompImage },
    { "RETRY PART 2", EngineAction::drop },
    { "RETRY PART 2", EngineAction::drop },
    { "", EngineAction::keep },
    { "EXIT", EngineAction::keep },
};

bool isStep (int value)
{
    return value >= Welcome && value <= AllDone;
}

bool isUpdatingStep (int value)
{
    return value == Part1Updating || value == Part2Updating;
}
} // namespace

MainContentComponent::MainContentComponent()
{
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    setSize (backgroundImage.getWidth(), backgroundImage.getHeight());
    loadLogo();

    const auto width = getWidth();
    const auto height = getHeight();

    addAndMakeVisible (updateButton);
    updateButton.setBounds (width / 2 - 100, height - 42, 200, 30);
    updateButton.setVisible (false);
    updateButton.addListener (this);

    changelogButton.setButtonText ("SHOW CHANGELOG");
    addAndMakeVisible (changelogButton);
    changelogButton.setBounds (width - 150, height - 42, 125, 30);
    changelogButton.addListener (this);

    addAndMakeVisible (progressBar);
    progressBar.setBounds (60, height - 120, width - 120, 25);
    progressBar.setVisible (false);

    textPanelBounds = { 50.0f, 150.0f, (float) (width - 100), (float) (height - 175) };

    setState (Welcome);
}

// Members go in reverse order: the engine stops before the controls and the look and feel go,
// and the AsyncUpdater base then drops any update the engine left pending.
MainContentComponent::~MainContentComponent() = default;

void MainContentComponent::loadLogo()
{
    logoPath.loadPathFromData (quindervaleLogoPath, (size_t) quindervaleLogoPathSize);

    const auto shape = logoPath.getBounds();
    const auto logoWidth = (float) (getWidth() - 100);

    // An empty shape has no proportions to keep; scaling it would only produce NaNs.
    if (shape.isEmpty() || logoWidth <= 0.0f)
        return;

    logoPath.scaleToFit (50.0f, 20.0f, logoWidth, shape.getHeight() / shape.getWidth() * logoWidth, true);
}

void MainContentComponent::paint (juce::Graphics& g)
{
    g.drawImageAt (backgroundImage, 0, 0);

    juce::DropShadow (juce::Colours::darkgrey, 10, {}).drawForPath (g, logoPath);
    g.setColour (juce::Colours::white);
    g.fillPath (logoPath);

    g.setFont (textHeight);
    g.drawText ("ORVALITH FIRMWARE UPDATER", 50, 125, getWidth() - 100, 50, juce::Justification::centredTop, true);

    g.setColour (panelColour);
    g.fillRoundedRectangle (textPanelBounds, 10.0f);

    const auto px = (int) textPanelBounds.getX();
    const auto py = (int) textPanelBounds.getY();
    const auto pw = (int) textPanelBounds.getWidth();
    const auto ph = (int) textPanelBounds.getHeight();

    const auto texts = textsForStep (state, currentStatus);

    if (texts.heading.isNotEmpty())
    {
        g.setColour (texts.headingColour);
        g.setFont (textHeight);
        g.drawFittedText (texts.heading, px, py + 10, pw, ph - 20, juce::Justification::centredTop,
                          texts.headingMaxLines, frameworkMinimumHorizontalScale);
    }

    if (texts.errorLine.isNotEmpty())
    {
        g.setColour (errorLineColour);
        g.setFont (textHeight);
        g.drawFittedText (texts.errorLine, px, py + 30, pw, ph - 20, juce::Justification::centredTop,
                          errorLineMaxLines, frameworkMinimumHorizontalScale);
    }

    g.setColour (juce::Colours::white);
    g.setFont (textHeight);
    g.drawFittedText (texts.body, px, py, pw, ph - 20, juce::Justification::centred,
                      bodyMaxLines, frameworkMinimumHorizontalScale);
}

void MainContentComponent::resized()
{
}

void MainContentComponent::setState (AppState newState)
{
    if (isStep (newState))
        enterStep (newState);

    state = newState;
    repaint();
}

void MainContentComponent::enterStep (AppState step)
{
    if (isUpdatingStep (step))
    {
        showTransferControls();
        return;
    }

    const auto& controls = stepControls[step];
    updateButton.setButtonText (controls.caption);
    updateButton.setVisible (true);
    progressBar.setVisible (false);

    switch (controls.engine)
    {
        case EngineAction::keep:                 break;
        case EngineAction::replaceWithMainImage: startConnectionAttempt (FirmwareImage::main); break;
        case EngineAction::replaceWithCompImage: startConnectionAttempt (FirmwareImage::comp); break;
        case EngineAction::drop:                 bootLoader.reset(); break;
    }

    if (step == AllDone)
        updateFinished = true;
}

void MainContentComponent::showTransferControls()
{
    progressValue = -1.0;
    updateButton.setVisible (false);
    progressBar.setVisible (true);
}

void MainContentComponent::startConnectionAttempt (FirmwareImage image)
{
    // The old engine's thread must have stopped and closed the device before a new one
    // tries to open it, and all engines share one frame buffer.
    bootLoader.reset();
    bootLoader = std::make_unique<BootLoader> (this, kVendorId, kProductId);

    if (image == FirmwareImage::main)
        bootLoader->LoadMainHexFile();
    else
        bootLoader->LoadCompHexFile();
}

void MainContentComponent::buttonClicked (juce::Button* button)
{
    if (button == &changelogButton)
        openChangelog();
    else
        clickStepButton();
}

void MainContentComponent::clickStepButton()
{
    switch (state)
    {
        case Welcome:             setState (ConnectInstructions); break;
        case ConnectInstructions: setState (Part1Waiting); break;
        case Part1Done:           setState (Part2Waiting); break;

        case Part1Waiting:
        case Part1UnableToConnect:
        case Part1WrongBootloader:
        case Part1WrongDevice:
            startConnectionAttempt (FirmwareImage::main);
            break;

        case Part2Waiting:
        case Part2UnableToConnect:
        case Part2WrongBootloader:
        case Part2WrongDevice:
            startConnectionAttempt (FirmwareImage::comp);
            break;

        case AllDone:
            if (auto* application = juce::JUCEApplication::getInstance())
                application->systemRequestedQuit();
            break;

        default:
            break;
    }
}

void MainContentComponent::openChangelog()
{
    if (changelogWindow != nullptr)
        return;

    // The window deletes itself when closed; the SafePointer then reads null.
    changelogWindow = new ChangelogWindow();
    changelogWindow->showCentredOn (this);
}

void MainContentComponent::handleAsyncUpdate()
{
    switch (state)
    {
        case Part1Waiting:
        case Part1UnableToConnect:
        case Part1WrongBootloader:
        case Part1WrongDevice:
            reactToConnectionStatus (Part1UnableToConnect, Part1Updating);
            break;

        case Part2Waiting:
        case Part2UnableToConnect:
        case Part2WrongBootloader:
        case Part2WrongDevice:
            reactToConnectionStatus (Part2UnableToConnect, Part2Updating);
            break;

        case Part1Updating: reactToTransferStatus (Part1WrongBootloader, Part1WrongDevice); break;
        case Part2Updating: reactToTransferStatus (Part2WrongBootloader, Part2WrongDevice); break;

        // The engine's timer has just finished the part from inside its own callback;
        // here, outside it, the engine can go.
        case Part1Done:
        case AllDone:
            bootLoader.reset();
            break;

        default:
            break;
    }
}

void MainContentComponent::reactToConnectionStatus (AppState unableToConnectStep, AppState updatingStep)
{
    if (currentStatus == unableToConnectStatus)
    {
        setState (unableToConnectStep);
        return;
    }

    // An update that a dropped engine left behind has nothing to start the exchange on.
    if (bootLoader == nullptr)
        return;

    startTransfer (updatingStep);
}

void MainContentComponent::startTransfer (AppState updatingStep)
{
    bootLoader->SendCommand (1, 30, 200);
    currentStatus = checkingDeviceStatus;
    showTransferControls();
    state = updatingStep;
    repaint();
}

void MainContentComponent::reactToTransferStatus (AppState wrongBootloaderStep, AppState wrongDeviceStep)
{
    if (currentStatus == wrongBootloaderStatus)
        setState (wrongBootloaderStep);

    if (currentStatus == wrongDeviceStatus)
        setState (wrongDeviceStep);

    repaint();
}
