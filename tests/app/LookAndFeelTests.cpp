#include "LookAndFeelFixture.h"

#include <cmath>
#include <limits>

namespace
{
using LookAndFeelTest = LookAndFeelFixture;

constexpr juce::uint32 transparent = 0x00000000;
constexpr juce::uint32 white = 0xffffffff;
constexpr juce::uint32 barBackground = 0xff555555;
constexpr juce::uint32 barForeground = 0xff808080;

juce::uint32 pixel (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getARGB();
}

// Pixels that glyphs cover completely show the text colour unblended.
std::vector<juce::uint32> opaquePixels (const juce::Image& image)
{
    std::vector<juce::uint32> result;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getAlpha() == 0xff)
                result.push_back (pixel (image, x, y));

    return result;
}

bool nearlyEqual (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) <= 2 && std::abs (a.getGreen() - b.getGreen()) <= 2
           && std::abs (a.getBlue() - b.getBlue()) <= 2 && a.getAlpha() == b.getAlpha();
}

bool hasInk (const juce::Image& image)
{
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getAlpha() != 0)
                return true;

    return false;
}

bool imagesEqual (const juce::Image& a, const juce::Image& b)
{
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (pixel (a, x, y) != pixel (b, x, y))
                return false;

    return true;
}

juce::Image renderProgressBar (QuindervaleLookAndFeel& lookAndFeel, int width, int height, double progress, const juce::String& text)
{
    double value = progress;
    juce::ProgressBar bar (value);
    bar.setSize (width, height);

    auto image = makeTransparentImage (width, juce::jmax (1, height));
    juce::Graphics g (image);
    lookAndFeel.drawProgressBar (g, bar, width, height, progress, text);
    return image;
}

juce::Image renderStripes (juce::uint32 millisecondCounter)
{
    auto image = makeTransparentImage (480, 25);
    juce::Graphics g (image);
    g.fillAll (juce::Colour (barBackground));
    g.setColour (juce::Colour (barForeground));
    QuindervaleLookAndFeel::drawBusyStripes (g, 480, 25, millisecondCounter);
    return image;
}
} // namespace

TEST_F (LookAndFeelTest, SetsThePalette)
{
    const struct
    {
        int colourId;
        juce::uint32 argb;
    } palette[] = {
        { juce::TextButton::buttonColourId, 0xff404040 },
        { juce::TextButton::buttonOnColourId, 0xff404040 },
        { juce::TextButton::textColourOffId, 0xffa0a0a0 },
        { juce::TextButton::textColourOnId, 0xffa0a0a0 },
        { juce::Label::backgroundColourId, 0x00000000 },
        { juce::Label::textColourId, 0xffa0a0a0 },
        { juce::Label::outlineColourId, 0x00000000 },
        { juce::Label::backgroundWhenEditingColourId, 0xff262626 },
        { juce::Label::textWhenEditingColourId, 0xffe0e0e0 },
        { juce::Label::outlineWhenEditingColourId, 0x00000000 },
        { juce::TextEditor::highlightColourId, 0xff404040 },
        { juce::TextEditor::highlightedTextColourId, 0xffe0e0e0 },
        { juce::CaretComponent::caretColourId, 0xffe0e0e0 },
        { juce::PopupMenu::backgroundColourId, 0xffa0a0a0 },
        { juce::PopupMenu::textColourId, 0xff404040 },
        { juce::PopupMenu::highlightedBackgroundColourId, 0xff808080 },
        { juce::PopupMenu::highlightedTextColourId, 0xffffffff },
        { juce::AlertWindow::backgroundColourId, 0xff404040 },
        { juce::AlertWindow::outlineColourId, 0xff000000 },
        { juce::AlertWindow::textColourId, 0xffa0a0a0 },
        { juce::ToggleButton::textColourId, 0xffffffff },
        { juce::ToggleButton::tickColourId, 0xffffffff },
        { juce::ProgressBar::backgroundColourId, 0xff555555 },
        { juce::ProgressBar::foregroundColourId, 0xff808080 },
    };

    for (const auto& entry : palette)
        EXPECT_EQ (lookAndFeel.findColour (entry.colourId).getARGB(), entry.argb)
            << "colour id 0x" << juce::String::toHexString (entry.colourId);
}

TEST_F (LookAndFeelTest, AnswersEveryFontWithLatoAndGivesDialogButtons22Pixels)
{
    const auto lato = lookAndFeel.getTypefaceForFont (juce::Font());
    ASSERT_NE (lato, nullptr);
    EXPECT_EQ (lato->getName(), "Lato");

    EXPECT_EQ (lookAndFeel.getTypefaceForFont (juce::Font (30.0f, juce::Font::bold | juce::Font::italic)), lato);
    EXPECT_EQ (lookAndFeel.getTypefaceForFont (juce::Font ("DejaVu Serif", 12.0f, juce::Font::plain)), lato);

    // Installed as the default, it decides the typeface of fonts that components make.
    EXPECT_EQ (juce::Font ("Courier", 17.0f, juce::Font::bold).getTypefacePtr(), lato);

    EXPECT_EQ (lookAndFeel.getAlertWindowButtonHeight(), 22);
}

TEST_F (LookAndFeelTest, ButtonBackgroundShadeFollowsToggleMouseOverAndPressed)
{
    const struct
    {
        bool toggledOn, mouseOver, pressed;
        juce::uint32 expected;
    } cases[] = {
        { false, false, false, 0xff333333 },
        { false, true, false, 0xff5a5a5a },
        { false, true, true, 0xff262626 },
        { false, false, true, 0xff262626 },
        { true, false, false, 0xff262626 },
        { true, true, false, 0xff5a5a5a },
    };

    for (const auto& c : cases)
    {
        juce::TextButton button ("button");
        button.setSize (20, 10);
        button.setToggleState (c.toggledOn, juce::dontSendNotification);

        auto image = makeTransparentImage (20, 10);
        juce::Graphics g (image);
        lookAndFeel.drawButtonBackground (g, button, juce::Colour (0xff404040), c.mouseOver, c.pressed);

        SCOPED_TRACE (testing::Message() << "toggled " << c.toggledOn << " over " << c.mouseOver << " pressed " << c.pressed);
        EXPECT_EQ (pixel (image, 0, 0), c.expected);
        EXPECT_EQ (pixel (image, 19, 9), c.expected);
    }
}

TEST_F (LookAndFeelTest, ButtonTextBrightensWhenMouseOverPressedOrToggledButNotWhenDisabled)
{
    const struct
    {
        bool toggledOn, mouseOver, pressed, enabled;
        juce::uint32 expected;
    } cases[] = {
        { false, false, false, true, 0xffa0a0a0 },
        { false, true, false, true, 0xffe0e0e0 },
        { false, false, true, true, 0xffe0e0e0 },
        { true, false, false, true, 0xffe0e0e0 },
        { false, false, false, false, 0xffa0a0a0 },
    };

    for (const auto& c : cases)
    {
        juce::TextButton button ("IIII");
        button.setSize (200, 30);
        button.setToggleState (c.toggledOn, juce::dontSendNotification);
        button.setEnabled (c.enabled);

        auto image = makeTransparentImage (200, 30);
        juce::Graphics g (image);
        lookAndFeel.drawButtonText (g, button, c.mouseOver, c.pressed);

        SCOPED_TRACE (testing::Message() << "toggled " << c.toggledOn << " over " << c.mouseOver
                                         << " pressed " << c.pressed << " enabled " << c.enabled);
        const auto solid = opaquePixels (image);
        ASSERT_FALSE (solid.empty());

        for (auto argb : solid)
            ASSERT_EQ (argb, c.expected);
    }
}

TEST_F (LookAndFeelTest, ButtonTextIsFittedInsideTheIndentedBox)
{
    const struct
    {
        int width, height, connectedEdges;
        juce::Rectangle<int> textBox;
    } cases[] = {
        { 200, 30, 0, { 9, 4, 182, 22 } },
        { 200, 30, juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight, { 5, 4, 190, 22 } },
        { 100, 22, 0, { 7, 4, 86, 14 } },
        { 10, 30, 0, { 4, 4, 2, 22 } },
    };

    for (const juce::String text : { "SHOW CHANGELOG", "A caption far too long to fit on a single line of this button" })
    {
        for (const auto& c : cases)
        {
            juce::TextButton button (text);
            button.setSize (c.width, c.height);
            button.setConnectedEdges (c.connectedEdges);

            auto drawn = makeTransparentImage (c.width, c.height);
            {
                juce::Graphics g (drawn);
                lookAndFeel.drawButtonText (g, button, false, false);
            }

            auto expected = makeTransparentImage (c.width, c.height);
            {
                juce::Graphics g (expected);
                g.setColour (juce::Colour (0xffa0a0a0));
                g.setFont (juce::Font ((float) c.height * 0.8f));
                g.drawFittedText (text, c.textBox, juce::Justification::centred, 2);
            }

            SCOPED_TRACE (testing::Message() << text << " in " << c.width << " x " << c.height << " edges " << c.connectedEdges);
            EXPECT_TRUE (imagesEqual (drawn, expected));
            EXPECT_TRUE (hasInk (drawn));
        }
    }

    juce::TextButton narrow ("Close");
    narrow.setSize (8, 30);
    auto image = makeTransparentImage (8, 30);
    juce::Graphics g (image);
    lookAndFeel.drawButtonText (g, narrow, false, false);
    EXPECT_FALSE (hasInk (image));
}

TEST_F (LookAndFeelTest, ToggleButtonStrokesClosedBoxWhenOffAndOpenBoxWithTickWhenOn)
{
    // Pixels of the 2-pixel-wide box outline, of the outline's top-right corner (open when
    // on) and of the tick's first stroke, before the vertical centring.
    const juce::Point<int> leftEdge (2, 10), topEdge (10, 2), topRightCorner (17, 5), tick (8, 11);

    const struct
    {
        int height;
        bool on;
    } cases[] = { { 22, false }, { 22, true }, { 42, false }, { 42, true } };

    for (const auto& c : cases)
    {
        juce::ToggleButton button;
        button.setSize (40, c.height);
        button.setToggleState (c.on, juce::dontSendNotification);

        auto image = makeTransparentImage (40, c.height);
        juce::Graphics g (image);
        lookAndFeel.drawToggleButton (g, button, false, false);

        const auto shift = (c.height - 22) / 2;
        const auto at = [&] (juce::Point<int> p) { return pixel (image, p.x, p.y + shift); };

        SCOPED_TRACE (testing::Message() << "height " << c.height << " on " << c.on);
        EXPECT_EQ (at (leftEdge), white);
        EXPECT_EQ (at (topEdge), white);
        EXPECT_EQ (at (topRightCorner), c.on ? transparent : white);
        EXPECT_EQ (at (tick), c.on ? white : transparent);

        if (shift > 0)
        {
            EXPECT_EQ (pixel (image, topEdge.x, topEdge.y), transparent);
        }
    }
}

TEST_F (LookAndFeelTest, ProgressBarFillsTheDoneFractionInsideAOnePixelFrame)
{
    const auto half = renderProgressBar (lookAndFeel, 480, 25, 0.5, "50%");

    // The fill is (1, 1, 239, 23); the percentage sits in the middle, away from these pixels.
    EXPECT_EQ (pixel (half, 1, 1), barForeground);
    EXPECT_EQ (pixel (half, 239, 1), barForeground);
    EXPECT_EQ (pixel (half, 1, 23), barForeground);
    EXPECT_EQ (pixel (half, 239, 23), barForeground);
    EXPECT_EQ (pixel (half, 0, 12), barBackground);
    EXPECT_EQ (pixel (half, 240, 1), barBackground);
    EXPECT_EQ (pixel (half, 100, 0), barBackground);
    EXPECT_EQ (pixel (half, 100, 24), barBackground);
    EXPECT_EQ (pixel (half, 479, 12), barBackground);

    const auto none = renderProgressBar (lookAndFeel, 480, 25, 0.0, {});
    EXPECT_EQ (opaquePixels (none), std::vector<juce::uint32> (480 * 25, barBackground));
}

TEST_F (LookAndFeelTest, ProgressBarShowsStripesWhenBusyOrComplete)
{
    for (const auto progress : { -1.0, 1.0, 2.0, std::numeric_limits<double>::quiet_NaN() })
    {
        const auto image = renderProgressBar (lookAndFeel, 480, 25, progress, {});
        int foregroundPixels = 0;

        for (int x = 0; x < 480; ++x)
        {
            EXPECT_EQ (pixel (image, x, 0), barBackground);
            EXPECT_EQ (pixel (image, x, 24), barBackground);
            foregroundPixels += pixel (image, x, 12) == barForeground ? 1 : 0;
        }

        // Stripes and gaps are equally wide, so about half the row shows the stripes' colour
        // unblended, wherever the moving pattern stands.
        SCOPED_TRACE (testing::Message() << "progress " << progress);
        EXPECT_NEAR (foregroundPixels, 240, 24);
    }
}

TEST_F (LookAndFeelTest, ProgressBarOfDegenerateSizeDrawsOnlyItsBackground)
{
    EXPECT_EQ (opaquePixels (renderProgressBar (lookAndFeel, 1, 25, 0.5, {})), std::vector<juce::uint32> (25, barBackground));
    // A bar without height has a stripe period of 0; it must not divide by it.
    EXPECT_EQ (opaquePixels (renderProgressBar (lookAndFeel, 480, 0, -1.0, {})), std::vector<juce::uint32> (480, barBackground));
}

TEST (BusyStripes, MoveOnePixelLeftEvery15MillisecondsAndRepeatEvery750)
{
    const auto atCycleStart = renderStripes (750);
    const auto oneStepLater = renderStripes (765);

    // At offset 0 the first stripe starts at x = 0 and the first gap at x = 25.
    EXPECT_EQ (pixel (atCycleStart, 12, 1), barForeground);
    EXPECT_EQ (pixel (atCycleStart, 37, 1), barBackground);
    EXPECT_EQ (pixel (atCycleStart, 62, 1), barForeground);

    // The rasteriser may blend an edge pixel one level differently at another position.
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 479; ++x)
            ASSERT_TRUE (nearlyEqual (oneStepLater.getPixelAt (x, y), atCycleStart.getPixelAt (x + 1, y))) << x << ", " << y;

    EXPECT_TRUE (imagesEqual (renderStripes (0), atCycleStart));
    EXPECT_FALSE (imagesEqual (oneStepLater, atCycleStart));
}
