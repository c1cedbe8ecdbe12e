#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "QuitShortcut.h"
#include "WindowPlacement.h"

// The change-log text in a read-only, scrolling view above a "Close" button.
// Everything here runs on the message thread.
class ChangelogComponent final : public juce::Component
{
public:
    ChangelogComponent();

    void resized() override;

private:
    juce::TextButton closeButton { "Close" };
    juce::String changelogText;
    juce::TextEditor textEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ChangelogComponent)
};

// A small always-on-top window showing the change log. It deletes itself when closed by
// its "Close" button, its title bar's close button or a plain Escape, so whoever opens it
// keeps only a Component::SafePointer to it.
class ChangelogWindow final : public juce::DocumentWindow
{
public:
    ChangelogWindow();

    // Puts the window on the desktop with its content area 500 x 350 centred on the component
    // (the display when null), and shows it.
    void showCentredOn (juce::Component* component);

    bool keyPressed (const juce::KeyPress&) override;
    void closeButtonPressed() override;

private:
    ChangelogComponent changelogComponent;
    QuitShortcut quitShortcut;
    WindowPlacement placement { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ChangelogWindow)
};
