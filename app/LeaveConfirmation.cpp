#include "LeaveConfirmation.h"

namespace
{
// An always-on-top window (the change log) would otherwise hide the box.
bool anyWindowStaysOnTop()
{
    auto& desktop = juce::Desktop::getInstance();

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (desktop.getComponent (i)->isAlwaysOnTop())
            return true;

    return false;
}
} // namespace

bool LeaveConfirmation::ask()
{
    if (box != nullptr)
    {
        box->toFront (true);
        return false;
    }

    // Built as AlertWindow::showOkCancelBox builds it, so that the box can carry the Quit
    // shortcut and be found again by a second close request.
    box.reset (juce::LookAndFeel::getDefaultLookAndFeel().createAlertWindow ("The update process has not been finished.",
                                                                           "Are you sure you want to leave?",
                                                                           "OK",
                                                                           "Cancel",
                                                                           {},
                                                                           juce::MessageBoxIconType::WarningIcon,
                                                                           2,
                                                                           nullptr));
    box->setAlwaysOnTop (anyWindowStaysOnTop());
    box->addKeyListener (&quitShortcut);

    const auto result = box->runModalLoop();
    box = nullptr;
    return result == 1;
}
