#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// What the main screen's own paint() draws, without its child controls, through the
// software renderer.
inline juce::Image renderScreenPaint (juce::Component& screen)
{
    juce::Image image (juce::Image::ARGB, screen.getWidth(), screen.getHeight(), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    screen.paint (g);
    return image;
}

inline int countPixels (const juce::Image& image, juce::Rectangle<int> area, const std::function<bool (juce::Colour)>& matches)
{
    int count = 0;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (matches (image.getPixelAt (x, y)))
                ++count;

    return count;
}

inline bool isRedText (juce::Colour c)  { return c.getRed() > 150 && c.getGreen() < 90 && c.getBlue() < 90; }
inline bool isBlueText (juce::Colour c) { return c.getBlue() > 150 && c.getRed() < 90 && c.getGreen() < 90; }

inline bool coloursMatch (juce::Colour a, juce::Colour b, int tolerance)
{
    return std::abs (a.getRed() - b.getRed()) <= tolerance
           && std::abs (a.getGreen() - b.getGreen()) <= tolerance
           && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
}

// Stands in for the running application, so code that quits through
// JUCEApplication::getInstance() can be observed.
class RecordingApplication final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "RecordingApplication"; }
    const juce::String getApplicationVersion() override { return "0"; }
    void initialise (const juce::String&) override {}
    void shutdown() override {}
    void systemRequestedQuit() override { ++quitRequests; }

    int quitRequests = 0;
};

// JUCE allows an application object only in a standalone app, which it recognises by a
// registered factory; the factory is never called here.
class ScopedRecordingApplication final
{
public:
    ScopedRecordingApplication()
    {
        juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };
        application = std::make_unique<RecordingApplication>();
    }

    ~ScopedRecordingApplication()
    {
        application = nullptr;
        juce::JUCEApplicationBase::createInstance = nullptr;
    }

    std::unique_ptr<RecordingApplication> application;
};
