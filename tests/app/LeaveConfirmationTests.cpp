#include "ChangelogComponent.h"
#include "LeaveConfirmation.h"
#include "LookAndFeelFixture.h"
#include "ScreenTestSupport.h"

#include <vector>

namespace
{
using LeaveConfirmationTest = LookAndFeelFixture;

const juce::KeyPress ctrlQ ('q', juce::ModifierKeys::commandModifier, 0);

juce::AlertWindow* openBox()
{
    return dynamic_cast<juce::AlertWindow*> (juce::Component::getCurrentlyModalComponent());
}

int alertWindowsOnDesktop()
{
    int count = 0;

    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        count += dynamic_cast<juce::AlertWindow*> (juce::Desktop::getInstance().getComponent (i)) != nullptr ? 1 : 0;

    return count;
}

juce::StringArray buttonTexts (juce::Component& box)
{
    juce::StringArray texts;

    for (auto* child : box.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
            texts.add (button->getButtonText());

    return texts;
}

// The box runs a modal loop of its own, so what happens in it is posted before asking.
bool askAndThen (LeaveConfirmation& confirmation, std::function<void (juce::AlertWindow&)> whileOpen)
{
    juce::MessageManager::callAsync ([whileOpen]
                                     {
                                         auto* box = openBox();
                                         ASSERT_NE (box, nullptr);
                                         whileOpen (*box);
                                     });
    return confirmation.ask();
}
} // namespace

TEST_F (LeaveConfirmationTest, AsksWhetherToLeaveAndOnlyOkLeaves)
{
    for (const auto& [answer, leaves] : std::vector<std::pair<juce::String, bool>> { { "OK", true }, { "Cancel", false } })
    {
        LeaveConfirmation confirmation;
        juce::String title, description;
        juce::StringArray buttons;

        const auto result = askAndThen (confirmation,
                                        [&, answer = answer] (juce::AlertWindow& box)
                                        {
                                            title = box.getName();
                                            description = box.getDescription();
                                            buttons = buttonTexts (box);
                                            box.triggerButtonClick (answer);
                                        });

        EXPECT_EQ (result, leaves) << answer;
        EXPECT_EQ (title, "The update process has not been finished.");
        EXPECT_TRUE (description.endsWith ("Are you sure you want to leave?")) << description;
        EXPECT_EQ (buttons, juce::StringArray ({ "OK", "Cancel" }));
        EXPECT_EQ (alertWindowsOnDesktop(), 0);
    }
}

TEST_F (LeaveConfirmationTest, SecondRequestWhileOpenOpensNoSecondBoxAndOneAnswerActsOnce)
{
    LeaveConfirmation confirmation;
    bool secondRequestLeaves = true;
    int boxesDuringSecondRequest = 0;

    const auto leaves = askAndThen (confirmation,
                                    [&] (juce::AlertWindow& box)
                                    {
                                        secondRequestLeaves = confirmation.ask();
                                        boxesDuringSecondRequest = alertWindowsOnDesktop();
                                        box.triggerButtonClick ("OK");
                                    });

    EXPECT_TRUE (leaves);
    EXPECT_FALSE (secondRequestLeaves);
    EXPECT_EQ (boxesDuringSecondRequest, 1);
}

// Whichever window has the keyboard, Ctrl+Q quits without asking.
TEST_F (LeaveConfirmationTest, CtrlQQuitsFromTheBoxAndFromTheChangelogWindow)
{
    ScopedRecordingApplication app;
    LeaveConfirmation confirmation;

    askAndThen (confirmation,
                [&] (juce::AlertWindow& box)
                {
                    EXPECT_FALSE (box.getPeer()->handleKeyPress (juce::KeyPress ('q', 0, 'q')));
                    EXPECT_TRUE (box.getPeer()->handleKeyPress (ctrlQ));
                    EXPECT_EQ (app.application->quitRequests, 1);
                    box.exitModalState (0);
                });

    juce::Component::SafePointer<ChangelogWindow> changelog (new ChangelogWindow());
    changelog->showCentredOn (nullptr);
    EXPECT_TRUE (changelog->getPeer()->handleKeyPress (ctrlQ));
    EXPECT_EQ (app.application->quitRequests, 2);
    delete changelog.getComponent();
}
