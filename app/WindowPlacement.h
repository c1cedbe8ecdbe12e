#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// Puts a native-titled window where its bounds say and only then shows it.
//
// A window manager puts its frame around a window when the window is first shown, and JUCE
// can allow for the frame only once it knows its size: a window shown straight away lands
// shifted by the frame. So the window stays hidden until the window manager has published
// the frame's size (asked for with _NET_REQUEST_FRAME_EXTENTS), is then placed and shown,
// and never appears anywhere else. Without a window manager that offers this, it is placed
// and shown at once. Everything here runs on the message thread.
class WindowPlacement final : private juce::Timer
{
public:
    explicit WindowPlacement (juce::Component& window);
    ~WindowPlacement() override;

    // The window must be on the desktop and hidden. place gives the window its bounds; it
    // runs once, just before the window is shown.
    void placeAndShow (std::function<void()> place);

private:
    void timerCallback() override;
    void finish();
    void checkPlace (juce::ComponentPeer& peer);
    void moveToTarget();

    juce::Component& window;
    std::function<void()> place;
    juce::Rectangle<int> target;
    int pollsLeft = 0;
    int correctionsLeft = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WindowPlacement)
};
