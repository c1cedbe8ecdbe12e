#pragma once

#include "QuindervaleLookAndFeel.h"

#include <gtest/gtest.h>

// Installs the application's look and feel as the framework's default for one test, as the
// main screen does for the program's whole run, so components find its colours and fonts.
class LookAndFeelFixture : public ::testing::Test
{
protected:
    LookAndFeelFixture() { juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel); }
    ~LookAndFeelFixture() override { juce::LookAndFeel::setDefaultLookAndFeel (nullptr); }

    QuindervaleLookAndFeel lookAndFeel;
};

// A cleared image drawn by the software renderer, whatever the platform's native image type.
inline juce::Image makeTransparentImage (int width, int height)
{
    return juce::Image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
}
