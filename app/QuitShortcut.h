#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Ctrl+Q, this platform's Quit shortcut, in whichever of the program's windows has the
// keyboard. Like every other way of quitting it never asks. Runs on the message thread.
class QuitShortcut final : public juce::KeyListener
{
public:
    QuitShortcut() = default;

    bool keyPressed (const juce::KeyPress& key, juce::Component*) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuitShortcut)
};
