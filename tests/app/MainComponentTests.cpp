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
