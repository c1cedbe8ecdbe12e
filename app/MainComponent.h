#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

#include "AppState.h"
#include "BinaryData.h"
#include "ChangelogComponent.h"
#include "QuindervaleLookAndFeel.h"

class BootLoader;

// The one screen of the main window. It walks the user through the update step by step
// (AppState), owns at most one transfer engine at a time and paints the texts of the
// current step onto a translucent panel over the background picture.
//
// Everything here runs on the message thread, the engine's timer callback included. The
// members are public because the engine, the main window and the tests reach into them.
class MainContentComponent final : public juce::Component,
                                   public juce::Button::Listener,
                                   public juce::AsyncUpdater
{
public:
    MainContentComponent();
    ~MainContentComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void buttonClicked (juce::Button* button) override;

    // Runs after the engine's timer has handed over a status text or finished a part.
    void handleAsyncUpdate() override;

    // Enters a step: caption and visibility of the controls, engine replaced or dropped.
    // A value outside the fourteen steps is only stored and shows an empty panel.
    void setState (AppState newState);

    // Constructed first and destroyed last: every control below draws with it.
    QuindervaleLookAndFeel lookAndFeel;
    int state = Welcome;
    juce::Image backgroundImage = juce::ImageCache::getFromMemory (BinaryData::temp_binary_data_3,
                                                                   BinaryData::temp_binary_data_3Size);
    juce::Path logoPath;
    juce::Rectangle<float> textPanelBounds;
    // Written by the engine's timer and by this screen, both on the message thread.
    double progressValue = 0.0;
    juce::ProgressBar progressBar { progressValue };
    juce::TextButton updateButton;
    juce::TextButton changelogButton;
    juce::String currentStatus;
    bool updateFinished = false;
    std::unique_ptr<BootLoader> bootLoader;
    juce::Component::SafePointer<ChangelogWindow> changelogWindow;

private:
    enum class FirmwareImage
    {
        main,
        comp
    };

    void loadLogo();
    void enterStep (AppState step);
    void showTransferControls();
    void startConnectionAttempt (FirmwareImage image);
    void startTransfer (AppState updatingStep);
    void reactToConnectionStatus (AppState unableToConnectStep, AppState updatingStep);
    void reactToTransferStatus (AppState wrongBootloaderStep, AppState wrongDeviceStep);
    void openChangelog();
    void clickStepButton();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainContentComponent)
};
