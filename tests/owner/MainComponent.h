#pragma once

#include "../../app/AppState.h"

#include <juce_events/juce_events.h>

#include <vector>

// The part of the main screen that the transfer engine uses, and no more, so the engine
// can be tested without any GUI. Everything runs on the message thread.
class MainContentComponent final : public juce::AsyncUpdater
{
public:
    MainContentComponent() = default;

    void setState (AppState newState)
    {
        stateChanges.push_back (newState);
        progressAtStateChanges.push_back (progressValue);
        state = newState;
    }

    void handleAsyncUpdate() override { ++asyncUpdates; }

    juce::String currentStatus;
    double progressValue = 0.0;
    int state = Welcome;

    std::vector<AppState> stateChanges;
    std::vector<double> progressAtStateChanges;
    int asyncUpdates = 0;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainContentComponent)
};
