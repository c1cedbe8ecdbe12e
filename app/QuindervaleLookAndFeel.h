#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The application's single look and feel: a flat palette of two greys, Lato for every
// text whatever font is asked for, flat buttons shaded by state, and a progress bar whose
// busy form is a band of moving diagonal stripes. The main screen installs it as the
// framework's default. Everything here runs on the message thread.
class QuindervaleLookAndFeel final : public juce::LookAndFeel_V3
{
public:
    QuindervaleLookAndFeel();
    ~QuindervaleLookAndFeel() override = default;

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawButtonText (juce::Graphics&, juce::TextButton&,
                         bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawToggleButton (juce::Graphics&, juce::ToggleButton&,
                           bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    int getAlertWindowButtonHeight() override;

    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height,
                          double progress, const juce::String& textToShow) override;

    // Fills, in the context's current colour, the busy bar's stripes as they stand at the
    // given value of juce::Time::getMillisecondCounter(). The clock is a parameter so the
    // animation can be drawn for any moment.
    static void drawBusyStripes (juce::Graphics&, int width, int height, juce::uint32 millisecondCounter);

private:
    juce::Typeface::Ptr latoTypeface;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuindervaleLookAndFeel)
};
