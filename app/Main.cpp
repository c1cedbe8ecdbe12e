#include <juce_gui_basics/juce_gui_basics.h>

#include "LeaveConfirmation.h"
#include "MainComponent.h"
#include "QuitShortcut.h"
#include "QuitSignals.h"
#include "WindowPlacement.h"

// Everything in this file runs on the message thread.
class ZendravelApplication final : public juce::JUCEApplication
{
public:
    ZendravelApplication() = default;

    const juce::String getApplicationName() override { return "Zendravel"; }
    const juce::String getApplicationVersion() override { return "1.0.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        mainWindow = std::make_unique<MainWindow>();
        quitSignals = std::make_unique<QuitSignalListener> ([this] { systemRequestedQuit(); });
    }

    void shutdown() override
    {
        quitSignals = nullptr;

        if (mainWindow != nullptr)
            mainWindow->deleteOpenChangelog();

        // Deleting the window deletes the screen, and with it any engine: a running transfer
        // stops and the device is closed.
        mainWindow = nullptr;
    }

    void anotherInstanceStarted (const juce::String&) override {}

    // Every way of quitting ends here, and none of them asks.
    void systemRequestedQuit() override
    {
        juce::MessageManager::getInstance()->stopDispatchLoop();
    }

    class MainWindow final : public juce::DocumentWindow
    {
    public:
        // The native window is made only once the window has its final size: a window sized
        // while already on the desktop sometimes appears at its 128 x 128 minimum (X11 with
        // openbox, under load). It is shown once placed, just after the constructor.
        MainWindow()
            : DocumentWindow ("Quindervale Orvalith firmware updater - version 1.7",
                              juce::Colours::lightgrey,
                              juce::DocumentWindow::allButtons,
                              false)
        {
            setUsingNativeTitleBar (true);

            auto* screen = new MainContentComponent();
            contentComponent = screen;
            setContentOwned (screen, true);
            addKeyListener (&quitShortcut);

            addToDesktop();
            placement.placeAndShow ([this] { centreWithSize (getWidth(), getHeight()); });
        }

        void closeButtonPressed() override
        {
            if (! contentComponent->updateFinished && ! leaveConfirmation.ask())
                return;

            juce::JUCEApplication::getInstance()->systemRequestedQuit();
        }

        // The change-log window draws with the screen's look and feel, so it must not outlive
        // the screen.
        void deleteOpenChangelog()
        {
            delete contentComponent->changelogWindow.getComponent();
        }

    private:
        MainContentComponent* contentComponent = nullptr;
        QuitShortcut quitShortcut;
        LeaveConfirmation leaveConfirmation;
        WindowPlacement placement { *this };

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<QuitSignalListener> quitSignals;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZendravelApplication)
};

START_JUCE_APPLICATION (ZendravelApplication)
