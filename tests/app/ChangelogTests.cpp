#include "ChangelogComponent.h"
#include "LookAndFeelFixture.h"

#include "BinaryData.h"

namespace
{
using ChangelogTest = LookAndFeelFixture;

template <typename ChildType>
ChildType* findChild (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
        if (auto* match = dynamic_cast<ChildType*> (child))
            return match;

    return nullptr;
}

// Opens the window as the main screen does, but centred on the display.
juce::Component::SafePointer<ChangelogWindow> openChangelogWindow()
{
    auto* window = new ChangelogWindow();
    window->showCentredOn (nullptr);
    return window;
}

bool waitUntilDeleted (const juce::Component::SafePointer<ChangelogWindow>& window)
{
    for (int i = 0; i < 100 && window != nullptr; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    return window == nullptr;
}
} // namespace

TEST_F (ChangelogTest, ContentShowsTheWholeChangelogReadOnlyAtHeight15)
{
    ChangelogComponent content;
    EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (0, 0, 100, 100));

    content.setSize (500, 350);

    auto* textView = findChild<juce::TextEditor> (content);
    auto* closeButton = findChild<juce::TextButton> (content);
    ASSERT_NE (textView, nullptr);
    ASSERT_NE (closeButton, nullptr);

    EXPECT_EQ (textView->getBounds(), juce::Rectangle<int> (10, 10, 480, 270));
    EXPECT_EQ (closeButton->getBounds(), juce::Rectangle<int> (170, 300, 150, 30));
    EXPECT_EQ (closeButton->getButtonText(), "Close");
    EXPECT_EQ (closeButton->getName(), "Close");

    // The editor keeps line ends as bare line feeds; everything else is the resource verbatim.
    const auto resourceText = juce::String::fromUTF8 (BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size);
    EXPECT_EQ (textView->getText(), resourceText.replace ("\r\n", "\n"));
    EXPECT_TRUE (textView->isMultiLine());
    EXPECT_TRUE (textView->isReadOnly());
    EXPECT_FALSE (textView->isCaretVisible());

    // The text itself, not just the editor's current font, is laid out at height 15.
    EXPECT_EQ (textView->getFont().getHeight(), 15.0f);
    EXPECT_EQ (textView->getTextBounds ({ 0, 1 }).getBounds().getHeight(), 15);

    // The log is longer than the view holds, so the view scrolls rather than growing.
    EXPECT_GT (textView->getTextHeight(), textView->getHeight());
}

TEST_F (ChangelogTest, WindowIsAFixedAlwaysOnTopWindowWithOnlyACloseButton)
{
    auto window = openChangelogWindow();
    ASSERT_NE (window, nullptr);

    EXPECT_EQ (window->getName(), "Changelog");
    EXPECT_EQ (window->getBackgroundColour().getARGB(), 0xff36383du);
    EXPECT_TRUE (window->isUsingNativeTitleBar());
    EXPECT_FALSE (window->isResizable());
    EXPECT_TRUE (window->isAlwaysOnTop());

    const auto styleFlags = window->getDesktopWindowStyleFlags();
    EXPECT_NE (styleFlags & juce::ComponentPeer::windowHasCloseButton, 0);
    EXPECT_EQ (styleFlags & juce::ComponentPeer::windowHasMinimiseButton, 0);
    EXPECT_EQ (styleFlags & juce::ComponentPeer::windowHasMaximiseButton, 0);

    auto* content = dynamic_cast<ChangelogComponent*> (window->getContentComponent());
    ASSERT_NE (content, nullptr);
    EXPECT_EQ (content->getLocalBounds(), juce::Rectangle<int> (0, 0, 500, 350));
    EXPECT_EQ (findChild<juce::TextEditor> (*content)->getBounds(), juce::Rectangle<int> (10, 10, 480, 270));

    delete window.getComponent();
}

TEST_F (ChangelogTest, EscapeClosesOnlyWithoutModifiers)
{
    const struct
    {
        juce::KeyPress key;
        bool closes;
    } cases[] = {
        { juce::KeyPress (juce::KeyPress::escapeKey), true },
        { juce::KeyPress (juce::KeyPress::escapeKey, juce::ModifierKeys::shiftModifier, 0), false },
        { juce::KeyPress (juce::KeyPress::escapeKey, juce::ModifierKeys::ctrlModifier, 0), false },
        { juce::KeyPress (juce::KeyPress::escapeKey, juce::ModifierKeys::altModifier, 0), false },
        { juce::KeyPress (juce::KeyPress::escapeKey, juce::ModifierKeys::commandModifier, 0), false },
        { juce::KeyPress ('q', {}, 'q'), false },
    };

    for (const auto& c : cases)
    {
        auto window = openChangelogWindow();

        SCOPED_TRACE (c.key.getTextDescription());
        EXPECT_EQ (window->keyPressed (c.key), c.closes);
        EXPECT_EQ (window == nullptr, c.closes);

        if (window != nullptr)
            delete window.getComponent();
    }
}

TEST_F (ChangelogTest, EveryWayOfClosingDeletesTheWindow)
{
    const std::function<void (ChangelogWindow&)> closers[] = {
        [] (ChangelogWindow& window)
        { findChild<juce::TextButton> (*window.getContentComponent())->triggerClick(); },
        [] (ChangelogWindow& window)
        { window.userTriedToCloseWindow(); },
        [] (ChangelogWindow& window)
        {
            // Escape reaches the window through the focused, read-only text view.
            findChild<juce::TextEditor> (*window.getContentComponent())->grabKeyboardFocus();
            window.getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::escapeKey));
        },
    };

    for (const auto& close : closers)
    {
        auto window = openChangelogWindow();
        close (*window);
        EXPECT_TRUE (waitUntilDeleted (window));
    }
}
