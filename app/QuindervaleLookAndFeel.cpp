#include "QuindervaleLookAndFeel.h"

#include "LatoFont.h"

#include <cmath>

namespace
{
const juce::Colour darkGrey (0xff404040);
const juce::Colour lightGrey (0xffa0a0a0);

// Halves go to the even neighbour, as under the default floating-point rounding mode.
int nearestInt (double value)
{
    return (int) std::lrint (value);
}

juce::Colour buttonTextColour (const juce::TextButton& button, bool isHighlighted, bool isDown)
{
    const auto offColour = button.findColour (juce::TextButton::textColourOffId);
    const auto onColour = button.findColour (juce::TextButton::textColourOnId);

    auto colour = offColour;

    if (isDown)
        colour = onColour.withMultipliedBrightness (1.4f);

    if (isHighlighted)
        colour = offColour.withMultipliedBrightness (1.4f);

    if (button.getToggleState())
        colour = onColour.withMultipliedBrightness (1.4f);

    return colour;
}

juce::Path toggleBoxPath (bool isOn)
{
    juce::Path box;

    if (isOn)
    {
        // Open at the top-right corner, where the tick leaves the box, and in the bottom
        // edge, where the tick's point sits.
        box.startNewSubPath (13.0f, 3.0f);
        box.lineTo (3.0f, 3.0f);
        box.lineTo (3.0f, 17.0f);
        box.lineTo (9.0f, 17.0f);
        box.startNewSubPath (12.0f, 17.0f);
        box.lineTo (17.0f, 17.0f);
        box.lineTo (17.0f, 7.0f);
    }
    else
    {
        box.startNewSubPath (3.0f, 3.0f);
        box.lineTo (3.0f, 17.0f);
        box.lineTo (17.0f, 17.0f);
        box.lineTo (17.0f, 3.0f);
        box.closeSubPath();
    }

    return box;
}

juce::Path tickPath()
{
    juce::Path tick;
    tick.startNewSubPath (1.5f, 3.0f);
    tick.lineTo (3.0f, 6.0f);
    tick.lineTo (6.0f, 0.0f);
    return tick;
}
} // namespace

QuindervaleLookAndFeel::QuindervaleLookAndFeel()
    : latoTypeface (juce::Typeface::createSystemTypefaceFor (LatoFont::temp_binary_data_0,
                                                             (size_t) LatoFont::temp_binary_data_0Size))
{
    setColour (juce::TextButton::buttonColourId, darkGrey);
    setColour (juce::TextButton::buttonOnColourId, darkGrey);
    setColour (juce::TextButton::textColourOffId, lightGrey);
    setColour (juce::TextButton::textColourOnId, lightGrey);

    setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    setColour (juce::Label::textColourId, lightGrey);
    setColour (juce::Label::outlineColourId, juce::Colours::transparentBlack);
    setColour (juce::Label::backgroundWhenEditingColourId, darkGrey.withMultipliedBrightness (0.6f));
    setColour (juce::Label::textWhenEditingColourId, lightGrey.withMultipliedBrightness (1.4f));
    setColour (juce::Label::outlineWhenEditingColourId, juce::Colours::transparentBlack);

    setColour (juce::TextEditor::highlightColourId, darkGrey);
    setColour (juce::TextEditor::highlightedTextColourId, lightGrey.withMultipliedBrightness (1.4f));
    setColour (juce::CaretComponent::caretColourId, lightGrey.withMultipliedBrightness (1.4f));

    setColour (juce::PopupMenu::backgroundColourId, lightGrey);
    setColour (juce::PopupMenu::textColourId, darkGrey);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, lightGrey.withMultipliedBrightness (0.8f));
    setColour (juce::PopupMenu::highlightedTextColourId, darkGrey.withBrightness (1.4f));

    setColour (juce::AlertWindow::backgroundColourId, darkGrey);
    setColour (juce::AlertWindow::outlineColourId, juce::Colours::black);
    setColour (juce::AlertWindow::textColourId, lightGrey);

    setColour (juce::ToggleButton::textColourId, juce::Colours::white);
    setColour (juce::ToggleButton::tickColourId, juce::Colours::white);

    setColour (juce::ProgressBar::backgroundColourId, juce::Colours::darkgrey);
    setColour (juce::ProgressBar::foregroundColourId, juce::Colours::grey);

    setDefaultSansSerifTypefaceName ("Lato");
}

juce::Typeface::Ptr QuindervaleLookAndFeel::getTypefaceForFont (const juce::Font&)
{
    return latoTypeface;
}

void QuindervaleLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                   const juce::Colour& backgroundColour,
                                                   bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    auto colour = backgroundColour.withMultipliedBrightness (0.8f);

    if (button.getToggleState())
        colour = backgroundColour.withMultipliedBrightness (0.6f);

    if (shouldDrawButtonAsHighlighted)
        colour = backgroundColour.withMultipliedBrightness (1.4f);

    if (shouldDrawButtonAsDown)
        colour = backgroundColour.withMultipliedBrightness (0.6f);

    g.fillAll (colour);
}

void QuindervaleLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button,
                                             bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    const auto width = button.getWidth();
    const auto height = button.getHeight();

    g.setFont (g.getCurrentFont().withHeight ((float) height * 0.8f));
    g.setColour (buttonTextColour (button, shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown));

    const auto yIndent = juce::jmin (4, nearestInt (height * 0.3));
    const auto halfSide = juce::jmin (width, height) / 2;
    const auto fontHeight = nearestInt (height * 0.8);
    const auto leftIndent = juce::jmin (fontHeight, 2 + halfSide / (button.isConnectedOnLeft() ? 4 : 2));
    const auto rightIndent = juce::jmin (fontHeight, 2 + halfSide / (button.isConnectedOnRight() ? 4 : 2));
    const auto textWidth = width - leftIndent - rightIndent;

    if (textWidth > 0)
        g.drawFittedText (button.getButtonText(), leftIndent, yIndent, textWidth, height - 2 * yIndent,
                          juce::Justification::centred, 2);
}

void QuindervaleLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto isOn = button.getToggleState();
    const auto verticalShift = (float) (button.getHeight() - 22) / 2.0f;
    const auto tickColour = button.findColour (juce::ToggleButton::tickColourId);

    g.setColour (tickColour);
    g.strokePath (toggleBoxPath (isOn),
                  juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt),
                  juce::AffineTransform::translation (0.0f, verticalShift));

    if (isOn)
        g.strokePath (tickPath(),
                      juce::PathStrokeType (2.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt),
                      juce::AffineTransform::scale (22.0f / 9.0f).translated (3.0f, verticalShift));

    g.setColour (button.findColour (juce::ToggleButton::textColourId));
    g.setFont (g.getCurrentFont().withHeight (20.0f));
    g.drawFittedText (button.getButtonText(), 27, 0, button.getWidth() - 29, button.getHeight(),
                      juce::Justification::centredLeft, 10);
}

int QuindervaleLookAndFeel::getAlertWindowButtonHeight()
{
    return 22;
}

void QuindervaleLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                              double progress, const juce::String& textToShow)
{
    const auto background = bar.findColour (juce::ProgressBar::backgroundColourId);
    const auto foreground = bar.findColour (juce::ProgressBar::foregroundColourId);

    g.fillAll (background);
    g.setColour (foreground);

    if (progress >= 0.0 && progress < 1.0)
    {
        // Held inside the one-pixel frame; a bar narrower than the frame gets no fill.
        const auto fillWidth = juce::jlimit (0.0, (double) juce::jmax (0, width - 2), progress * (width - 2));
        g.fillRect (juce::Rectangle<float> (1.0f, 1.0f, (float) fillWidth, (float) (height - 2)));
    }
    else
    {
        drawBusyStripes (g, width, height, juce::Time::getMillisecondCounter());
    }

    if (textToShow.isNotEmpty())
    {
        g.setColour (juce::Colour::contrasting (background, foreground));
        g.setFont (g.getCurrentFont().withHeight ((float) height * 0.7f));
        g.drawText (textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}

void QuindervaleLookAndFeel::drawBusyStripes (juce::Graphics& g, int width, int height, juce::uint32 millisecondCounter)
{
    const auto period = 2 * height;

    // A bar without height has no room for stripes, and the offset would divide by zero.
    if (period <= 0)
        return;

    // The pattern moves one pixel to the left every 15 ms.
    const auto offset = (int) (millisecondCounter / 15) % period;
    const auto step = (float) period;
    const auto lean = step / 2.0f;
    const auto top = 1.0f;
    const auto bottom = (float) height - 1.0f;

    juce::Path stripes;

    for (auto x = (float) -offset; x < (float) (width + period); x += step)
        stripes.addQuadrilateral (x, top, x + lean, top, x, bottom, x - lean, bottom);

    g.fillPath (stripes);
}
