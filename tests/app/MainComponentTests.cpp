#include <gtest/gtest.h>

#include "MainComponent.h"
#include "QuindervaleLogoPath.h"
#include "ScreenTestSupport.h"

namespace
{
// Inside the panel, below the body box and clear of the rounded corners: nothing but the
// panel is drawn here in any step.
const juce::Point<int> panelOnlyPoint { 100, 368 };

const juce::Rectangle<int> headingRows { 50, 160, 500, 20 };
const juce::Rectangle<int> errorLineRows { 50, 182, 500, 24 };

juce::Colour panelOver (juce::Colour background)
{
    return background.overlaidWith (juce::Colour (0x99000000));
}

// The panel's inner area, where any text of a step would land.
juce::Rectangle<int> panelInterior()
{
    return { 60, 155, 480, 215 };
}

int pixelsDifferingFromEmptyPanel (MainContentComponent& screen, const juce::Image& rendered)
{
    int differing = 0;
    const auto area = panelInterior();

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (! coloursMatch (rendered.getPixelAt (x, y), panelOver (screen.backgroundImage.getPixelAt (x, y)), 3))
                ++differing;

    return differing;
}
} // namespace

TEST (MainScreenLayout, TakesThePictureSizeAndPlacesItsControls)
{
    MainContentComponent screen;

    EXPECT_EQ (screen.backgroundImage.getBounds(), juce::Rectangle<int> (0, 0, 600, 400));
    EXPECT_EQ (screen.getBounds(), juce::Rectangle<int> (0, 0, 600, 400));
    EXPECT_EQ (screen.updateButton.getBounds(), juce::Rectangle<int> (200, 358, 200, 30));
    EXPECT_EQ (screen.changelogButton.getBounds(), juce::Rectangle<int> (450, 358, 125, 30));
    EXPECT_EQ (screen.progressBar.getBounds(), juce::Rectangle<int> (60, 280, 480, 25));
    EXPECT_EQ (screen.textPanelBounds, juce::Rectangle<float> (50.0f, 150.0f, 500.0f, 225.0f));

    ASSERT_EQ (screen.getNumChildComponents(), 3);
    EXPECT_EQ (screen.getChildComponent (0), &screen.updateButton);
    EXPECT_EQ (screen.getChildComponent (1), &screen.changelogButton);
    EXPECT_EQ (screen.getChildComponent (2), &screen.progressBar);

    EXPECT_EQ (screen.changelogButton.getButtonText(), "SHOW CHANGELOG");
    EXPECT_TRUE (screen.changelogButton.isVisible());
}

TEST (MainScreenLayout, ControlsDoNotOverlap)
{
    MainContentComponent screen;

    EXPECT_FALSE (screen.updateButton.getBounds().intersects (screen.changelogButton.getBounds()));
    EXPECT_FALSE (screen.updateButton.getBounds().intersects (screen.progressBar.getBounds()));
    EXPECT_FALSE (screen.changelogButton.getBounds().intersects (screen.progressBar.getBounds()));
}

TEST (MainScreenLayout, LogoFillsTheWidthWithItsOwnProportions)
{
    MainContentComponent screen;

    juce::Path original;
    original.loadPathFromData (quindervaleLogoPath, (size_t) quindervaleLogoPathSize);
    const auto shape = original.getBounds();
    const auto logo = screen.logoPath.getBounds();

    EXPECT_NEAR (logo.getX(), 50.0f, 0.01f);
    EXPECT_NEAR (logo.getY(), 20.0f, 0.01f);
    EXPECT_NEAR (logo.getWidth(), 500.0f, 0.01f);
    EXPECT_NEAR (logo.getHeight(), shape.getHeight() / shape.getWidth() * 500.0f, 0.01f);
    EXPECT_LT (logo.getBottom(), 150.0f) << "the logo runs into the text panel";
}

TEST (MainScreenLayout, StartsOnTheWelcomeStep)
{
    MainContentComponent screen;

    EXPECT_EQ (screen.state, Welcome);
    EXPECT_EQ (screen.updateButton.getButtonText(), "START");
    EXPECT_TRUE (screen.updateButton.isVisible());
    EXPECT_FALSE (screen.progressBar.isVisible());
    EXPECT_FALSE (screen.updateFinished);
    EXPECT_EQ (screen.bootLoader, nullptr);
}

TEST (MainScreenPainting, PanelDarkensThePictureBehindIt)
{
    MainContentComponent screen;
    const auto rendered = renderScreenPaint (screen);

    const auto expected = panelOver (screen.backgroundImage.getPixelAt (panelOnlyPoint.x, panelOnlyPoint.y));
    const auto actual = rendered.getPixelAt (panelOnlyPoint.x, panelOnlyPoint.y);

    EXPECT_TRUE (coloursMatch (actual, expected, 2)) << actual.toDisplayString (true) << " vs " << expected.toDisplayString (true);
    EXPECT_EQ (actual.getAlpha(), 255);
}

TEST (MainScreenPainting, PictureShowsUnchangedOutsideThePanel)
{
    MainContentComponent screen;
    const auto rendered = renderScreenPaint (screen);

    for (auto point : { juce::Point<int> (5, 5), juce::Point<int> (595, 395), juce::Point<int> (20, 300) })
        EXPECT_TRUE (coloursMatch (rendered.getPixelAt (point.x, point.y),
                                   screen.backgroundImage.getPixelAt (point.x, point.y), 1))
            << point.toString();
}

TEST (MainScreenPainting, LogoIsWhite)
{
    MainContentComponent screen;
    const auto rendered = renderScreenPaint (screen);

    const auto whitePixels = countPixels (rendered, screen.logoPath.getBounds().getSmallestIntegerContainer(),
                                          [] (juce::Colour c) { return c.getBrightness() > 0.98f && c.getSaturation() < 0.02f; });

    EXPECT_GT (whitePixels, 1000);
}

TEST (MainScreenPainting, PartOneHeadingIsRedAndPartTwoHeadingBlue)
{
    MainContentComponent screen;

    screen.setState (Part1Waiting);
    const auto part1 = renderScreenPaint (screen);
    EXPECT_GT (countPixels (part1, headingRows, isRedText), 100);
    EXPECT_EQ (countPixels (part1, headingRows, isBlueText), 0);

    screen.setState (Part2Waiting);
    const auto part2 = renderScreenPaint (screen);
    EXPECT_GT (countPixels (part2, headingRows, isBlueText), 100);
    EXPECT_EQ (countPixels (part2, headingRows, isRedText), 0);
}

TEST (MainScreenPainting, ErrorLineIsRedEvenUnderTheBlueHeading)
{
    MainContentComponent screen;

    screen.setState (Part2UnableToConnect);
    const auto rendered = renderScreenPaint (screen);

    EXPECT_GT (countPixels (rendered, headingRows, isBlueText), 100);
    EXPECT_GT (countPixels (rendered, errorLineRows, isRedText), 100);
    EXPECT_EQ (countPixels (rendered, errorLineRows, isBlueText), 0);
}

TEST (MainScreenPainting, StepsWithoutAnErrorDrawNothingInTheErrorLine)
{
    MainContentComponent screen;

    for (auto step : { Part1Waiting, Part1Updating, Part1Done })
    {
        screen.setState (step);
        EXPECT_EQ (countPixels (renderScreenPaint (screen), errorLineRows, isRedText), 0) << step;
    }
}

TEST (MainScreenPainting, StepOutsideTheRangeShowsAnEmptyPanel)
{
    MainContentComponent screen;

    screen.setState (static_cast<AppState> (14));
    EXPECT_EQ (pixelsDifferingFromEmptyPanel (screen, renderScreenPaint (screen)), 0);

    // The same measure sees the text of a real step.
    screen.setState (Welcome);
    EXPECT_GT (pixelsDifferingFromEmptyPanel (screen, renderScreenPaint (screen)), 1000);
}

TEST (MainScreenPainting, UpdatingStepShowsTheStatusAsItsBody)
{
    MainContentComponent screen;
    screen.setState (Part1Updating);
    const juce::Rectangle<int> bodyRows { 50, 230, 500, 40 };
    const auto isWhiteText = [] (juce::Colour c) { return c.getBrightness() > 0.9f && c.getSaturation() < 0.1f; };

    screen.currentStatus = {};
    EXPECT_EQ (countPixels (renderScreenPaint (screen), bodyRows, isWhiteText), 0);

    screen.currentStatus = "Programming...";
    EXPECT_GT (countPixels (renderScreenPaint (screen), bodyRows, isWhiteText), 50);
}

namespace
{
struct StepView
{
    int step;
    juce::String heading;
    juce::Colour headingColour;
    int headingLines;
    juce::String errorLine;
    juce::String body;
    const char* caption;
    bool buttonShown;
    bool barShown;
};

// The screen as a person should see it, drawn by hand: picture, haloed logo, title, panel,
// then the step's texts in their boxes.
juce::Image expectedScreen (const MainContentComponent& screen, const StepView& view)
{
    juce::Image image (juce::Image::ARGB, 600, 400, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.drawImageAt (screen.backgroundImage, 0, 0);
    juce::DropShadow (juce::Colour (0xff555555), 10, {}).drawForPath (g, screen.logoPath);
    g.setColour (juce::Colour (0xffffffff));
    g.fillPath (screen.logoPath);
    g.setFont (20.0f);
    g.drawText ("ORVALITH FIRMWARE UPDATER", 50, 125, 500, 50, juce::Justification::centredTop, true);
    g.setColour (juce::Colour (0x99000000));
    g.fillRoundedRectangle ({ 50.0f, 150.0f, 500.0f, 225.0f }, 10.0f);

    g.setColour (view.headingColour);
    g.drawFittedText (view.heading, 50, 160, 500, 205, juce::Justification::centredTop, view.headingLines, 0.0f);
    g.setColour (juce::Colour (0xffff0000));
    g.drawFittedText (view.errorLine, 50, 180, 500, 205, juce::Justification::centredTop, 2, 0.0f);
    g.setColour (juce::Colour (0xffffffff));
    g.drawFittedText (view.body, 50, 150, 500, 205, juce::Justification::centred, 10, 0.0f);
    return image;
}

int pixelsDiffering (const juce::Image& a, const juce::Image& b)
{
    int differing = 0;

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                ++differing;

    return differing;
}
} // namespace

TEST (MainScreenPainting, EachStepShowsItsTextsAndControls)
{
    const juce::Colour red (0xffff0000), blue (0xff0000ff);
    const juce::String welcome = "Welcome to Quindervale Orvalith firmware updater.\n\n"
                                 "This software will guide you thru two step process\nof updating your Orvalith to version 1.7.\n"
                                 "Please follow the on screen instructions precisely\nand make sure you perform all steps completely.\n"
                                 "If you encounter any errors or problems - start over again\nor contact us directly at www.quindervale.com.";
    const juce::String connection = "1. Connect the Orvalith to your PC/MAC\nwith the USB cable.\n"
                                    "2. Make sure that only one Orvalith\nis connected at the time.\n"
                                    "3. Turn off the unit and click the button below.";
    const juce::String automaticStart = "2. Firmware update should start automatically.\nIf does not, click the button below.";
    const auto part1 = "\n\n1. While holding ENGAGE button and P1 knob,\nturn the Orvalith on with MAINS button.\nThe Bootloader screen will appear.\n" + automaticStart;
    const auto part2 = "\n\n1. While holding ENGAGE button and P2 knob,\nturn the Orvalith on with MAINS button.\nThe Bootloader screen will appear.\n" + automaticStart;
    const juce::String congratulations = "Congratulations!\nYour Orvalith has been updated with recent firmware.\n"
                                         "Please restart the unit and exit this application.\nEnjoy!";
    const juce::String heading1 = "FIRMWARE UPDATE PART 1 of 2.", heading2 = "FIRMWARE UPDATE PART 2 of 2.";
    const juce::String unableToConnect = "Unable to connect to the unit. Please try again.";
    const juce::String wrongBootloader = "Wrong bootloader has been opened. Please try again.";
    const juce::String wrongDevice = "Wrong device has been connected. Please try again.";
    // Without line breaks and far too long for the box, so the limit of ten lines shows.
    const auto status = juce::String::repeatedString ("There was no response from device. ", 30);

    // The updating steps keep the caption of the step before, here the welcome step's.
    const StepView views[] = {
        { Welcome, {}, {}, 1, {}, welcome, "START", true, false },
        { ConnectInstructions, {}, {}, 1, {}, connection, "CONTINUE", true, false },
        { Part1Waiting, heading1, red, 1, {}, part1, "UPDATE PART 1", true, false },
        { Part1UnableToConnect, heading1, red, 2, unableToConnect, part1, "RETRY PART 1", true, false },
        { Part1WrongBootloader, heading1, red, 2, wrongBootloader, part1, "RETRY PART 1", true, false },
        { Part1WrongDevice, heading1, red, 2, wrongDevice, part1, "RETRY PART 1", true, false },
        { Part1Updating, heading1, red, 1, {}, status, "START", false, true },
        { Part1Done, "FIRMWARE UPDATE PART 1 of 2 COMPLETED.", red, 1, {}, "Please turn off the unit and click the button below.", "PROCEED TO PART 2", true, false },
        { Part2Waiting, heading2, blue, 1, {}, part2, "UPDATE PART 2", true, false },
        { Part2UnableToConnect, heading2, blue, 2, unableToConnect, part2, "RETRY PART 2", true, false },
        { Part2WrongBootloader, heading2, blue, 2, wrongBootloader, part2, "RETRY PART 2", true, false },
        { Part2WrongDevice, heading2, blue, 2, wrongDevice, part2, "RETRY PART 2", true, false },
        { Part2Updating, heading2, blue, 1, {}, status, "START", false, true },
        { AllDone, "FIRMWARE UPDATE PART 2 of 2 COMPLETED.", blue, 1, {}, congratulations, "EXIT", true, false },
        { 99, {}, {}, 1, {}, {}, "START", true, false },
    };

    for (const auto& view : views)
    {
        SCOPED_TRACE ("step " + std::to_string (view.step));
        MainContentComponent screen;
        screen.currentStatus = status;
        screen.setState (static_cast<AppState> (view.step));

        EXPECT_EQ (pixelsDiffering (renderScreenPaint (screen), expectedScreen (screen, view)), 0);
        EXPECT_EQ (screen.updateButton.getButtonText(), view.caption);
        EXPECT_EQ (screen.updateButton.isVisible(), view.buttonShown);
        EXPECT_EQ (screen.progressBar.isVisible(), view.barShown);
    }
}
