#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "QuitShortcut.h"

// The question asked before the main window closes an unfinished update: the framework's
// own OK/Cancel alert box, drawn with the program's look and feel, in a modal loop of its
// own on the message thread (timers, asynchronous updates and so a transfer go on behind it).
//
// At most one box is open: a further close request while it shows only brings it to the
// front, so that one answer acts once. Ctrl+Q in the box quits like anywhere else.
class LeaveConfirmation final
{
public:
    LeaveConfirmation() = default;

    // True when the user chose OK; false for Cancel, or when a box was already open.
    bool ask();

private:
    std::unique_ptr<juce::AlertWindow> box;
    QuitShortcut quitShortcut;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LeaveConfirmation)
};
