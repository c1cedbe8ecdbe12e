#include "ChangelogComponent.h"

#include "BinaryData.h"

namespace
{
juce::String readChangelogText()
{
    juce::MemoryInputStream stream (BinaryData::temp_binary_data_2, (size_t) BinaryData::temp_binary_data_2Size, true);
    return stream.readEntireStreamAsString();
}
} // namespace

ChangelogComponent::ChangelogComponent()
{
    addAndMakeVisible (closeButton);

    // The peer's component is the window that holds this content, so the button closes it
    // exactly as the title bar's close button does. The window may be deleted by this call.
    closeButton.onClick = [this]
    {
        if (auto* peer = getPeer())
            peer->getComponent().userTriedToCloseWindow();
    };

    changelogText = readChangelogText();

    textEditor.setMultiLine (true, true);
    textEditor.setReadOnly (true);
    textEditor.setCaretVisible (false);
    // The editor keeps each run of text in the font current when it was inserted, so the
    // font has to be set before the text goes in.
    textEditor.setFont (juce::Font (15.0f));
    textEditor.setText (changelogText);
    addAndMakeVisible (textEditor);

    setSize (100, 100);
}

void ChangelogComponent::resized()
{
    textEditor.setBounds (10, 10, getWidth() - 20, getHeight() - 80);
    closeButton.setBounds (getWidth() / 2 - 80, getHeight() - 50, 150, 30);
}

// The native window is made only once the window has its final size: a window sized while
// already on the desktop sometimes appears at its 128 x 128 minimum (X11 with openbox, under
// load).
ChangelogWindow::ChangelogWindow()
    : juce::DocumentWindow ("Changelog", juce::Colour (0xff36383d), juce::DocumentWindow::closeButton, false)
{
    setUsingNativeTitleBar (true);
    setResizable (false, false);
    setContentNonOwned (&changelogComponent, true);
    setAlwaysOnTop (true);
    addKeyListener (&quitShortcut);
}

void ChangelogWindow::showCentredOn (juce::Component* component)
{
    // Placed only once on the desktop: JUCE allows for the frame when the window moves.
    setSize (500, 350);
    addToDesktop();
    placement.placeAndShow ([this, target = juce::Component::SafePointer<juce::Component> (component)]
                            { centreAroundComponent (target.getComponent(), 500, 350); });
}

bool ChangelogWindow::keyPressed (const juce::KeyPress& key)
{
    const auto modifiers = key.getModifiers();
    const auto isModified = modifiers.isShiftDown() || modifiers.isCtrlDown()
                            || modifiers.isAltDown() || modifiers.isCommandDown();

    if (key.getKeyCode() != juce::KeyPress::escapeKey || isModified)
        return false;

    closeButtonPressed();
    return true;
}

void ChangelogWindow::closeButtonPressed()
{
    delete this;
}
