#include "QuitShortcut.h"

bool QuitShortcut::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    if (key != juce::KeyPress ('q', juce::ModifierKeys::commandModifier, 0))
        return false;

    if (auto* application = juce::JUCEApplication::getInstance())
        application->systemRequestedQuit();

    return true;
}
