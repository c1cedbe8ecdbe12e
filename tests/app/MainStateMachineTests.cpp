#include <gtest/gtest.h>

#include "BootLoader.h"
#include "MainComponent.h"
#include "ScreenTestSupport.h"
#include "SimulatedUnit.h"

#include <optional>

namespace
{
using zendravel::sim::SimulatedUnit;

SimulatedUnit& unit()
{
    return SimulatedUnit::instance();
}

void configureUnit (std::optional<int> bootloaderKind, int deviceKind = 2)
{
    zendravel::sim::Config config;
    config.deviceKind = deviceKind;

    if (bootloaderKind.has_value())
        config.bootloaderKinds = { *bootloaderKind };
    else
        config.absentOpens = 1 << 30;

    unit().configure (config);
}

// Every engine makes exactly one attempt to open the unit, on its own thread, as it starts.
// Waits without pumping the message loop, so no engine timer runs meanwhile.
bool waitForOpenAttempts (int expected)
{
    for (int waited = 0; waited < 2000 && unit().openAttempts() < expected; waited += 2)
        juce::Thread::sleep (2);

    return unit().openAttempts() == expected;
}

// Pumps the message loop (engine timers, async updates) until the condition holds.
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

int openChangelogWindows()
{
    auto& desktop = juce::Desktop::getInstance();
    int count = 0;

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (dynamic_cast<ChangelogWindow*> (desktop.getComponent (i)) != nullptr)
            ++count;

    return count;
}

bool startsAnAttempt (AppState step)
{
    return step == Part1Waiting || step == Part1UnableToConnect || step == Part2Waiting || step == Part2UnableToConnect;
}

enum class Engine
{
    kept,      // the engine from before is still the one in use
    freshMain, // a new engine replaced it, with the image of part 1
    freshComp, // the same with the image of part 2
    none
};

// A status text handed over in one step, and what the person sees after it.
struct StatusRow
{
    AppState from;
    const char* status;
    AppState to;
    const char* caption;
    Engine engine;
};

class MainScreenStateMachine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        configureUnit (std::nullopt);
        screen = std::make_unique<MainContentComponent>();
    }

    void TearDown() override
    {
        screen = nullptr;
        unit().reset();
    }

    // Leaves the screen in a waiting step of part 1 with a running engine.
    BootLoader* startPart1Attempt()
    {
        screen->setState (Part1Waiting);
        EXPECT_TRUE (waitForOpenAttempts (1));
        return screen->bootLoader.get();
    }

    void expectEngine (Engine expected, BootLoader* before, int opensBefore, const std::string& context)
    {
        switch (expected)
        {
            case Engine::kept:
                EXPECT_EQ (screen->bootLoader.get(), before) << context;
                EXPECT_EQ (unit().openAttempts(), opensBefore) << context;
                break;
            case Engine::freshMain:
            case Engine::freshComp:
                ASSERT_NE (screen->bootLoader, nullptr) << context;
                EXPECT_TRUE (waitForOpenAttempts (opensBefore + 1)) << context;
                EXPECT_EQ (screen->bootLoader->mainImageSelected, expected == Engine::freshMain) << context;
                EXPECT_EQ (screen->bootLoader->compImageSelected, expected == Engine::freshComp) << context;
                break;
            case Engine::none:
                EXPECT_EQ (screen->bootLoader, nullptr) << context;
                break;
        }
    }

    void receiveStatus (const juce::String& status)
    {
        screen->currentStatus = status;
        screen->handleAsyncUpdate();
    }

    void clickStepButton() { screen->buttonClicked (&screen->updateButton); }

    std::unique_ptr<MainContentComponent> screen;
};
} // namespace

TEST_F (MainScreenStateMachine, EnteringEachStepSetsCaptionControlsAndEngine)
{
    struct Row
    {
        AppState step;
        const char* caption;
        bool buttonShown;
        Engine engine;
    };

    const Row rows[] = {
        { Welcome, "START", true, Engine::kept },
        { ConnectInstructions, "CONTINUE", true, Engine::kept },
        { Part1Waiting, "UPDATE PART 1", true, Engine::freshMain },
        { Part1UnableToConnect, "RETRY PART 1", true, Engine::freshMain },
        { Part1WrongBootloader, "RETRY PART 1", true, Engine::none },
        { Part1WrongDevice, "RETRY PART 1", true, Engine::none },
        { Part1Updating, "UPDATE PART 1", false, Engine::kept },
        { Part1Done, "PROCEED TO PART 2", true, Engine::kept },
        { Part2Waiting, "UPDATE PART 2", true, Engine::freshComp },
        { Part2UnableToConnect, "RETRY PART 2", true, Engine::freshComp },
        { Part2WrongBootloader, "RETRY PART 2", true, Engine::none },
        { Part2WrongDevice, "RETRY PART 2", true, Engine::none },
        { Part2Updating, "UPDATE PART 1", false, Engine::kept },
        { AllDone, "EXIT", true, Engine::kept },
    };

    for (const auto& row : rows)
    {
        const auto context = "step " + std::to_string (row.step);
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        auto* engineBefore = startPart1Attempt();
        const auto opensBefore = unit().openAttempts();

        screen->setState (row.step);

        EXPECT_EQ (screen->state, row.step) << context;
        EXPECT_EQ (screen->updateButton.getButtonText(), row.caption) << context;
        EXPECT_EQ (screen->updateButton.isVisible(), row.buttonShown) << context;
        EXPECT_EQ (screen->progressBar.isVisible(), ! row.buttonShown) << context;
        EXPECT_EQ (screen->updateFinished, row.step == AllDone) << context;
        expectEngine (row.engine, engineBefore, opensBefore, context);

        if (! row.buttonShown)
        {
            EXPECT_EQ (screen->progressValue, -1.0) << context;
        }
    }
}

TEST_F (MainScreenStateMachine, ReenteringAWaitingStepStartsAFreshAttempt)
{
    screen->setState (Part1UnableToConnect);
    ASSERT_TRUE (waitForOpenAttempts (1));

    screen->setState (Part1UnableToConnect);

    EXPECT_TRUE (waitForOpenAttempts (2));
    EXPECT_EQ (screen->updateButton.getButtonText(), "RETRY PART 1");
}

TEST_F (MainScreenStateMachine, ValueOutsideTheStepsIsOnlyStored)
{
    for (int value : { 14, 1000, -1 })
    {
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        auto* engine = startPart1Attempt();

        screen->setState (static_cast<AppState> (value));

        EXPECT_EQ (screen->state, value);
        EXPECT_EQ (screen->updateButton.getButtonText(), "UPDATE PART 1");
        EXPECT_TRUE (screen->updateButton.isVisible());
        EXPECT_FALSE (screen->progressBar.isVisible());
        EXPECT_EQ (screen->bootLoader.get(), engine);
        EXPECT_EQ (unit().openAttempts(), 1);
    }
}

TEST_F (MainScreenStateMachine, ConnectionStatusInEachWaitingAndErrorStep)
{
    const StatusRow rows[] = {
        { Part1Waiting, "Unable to connect", Part1UnableToConnect, "RETRY PART 1", Engine::freshMain },
        { Part1UnableToConnect, "Unable to connect", Part1UnableToConnect, "RETRY PART 1", Engine::freshMain },
        { Part1WrongBootloader, "Unable to connect", Part1UnableToConnect, "RETRY PART 1", Engine::freshMain },
        { Part1WrongDevice, "Unable to connect", Part1UnableToConnect, "RETRY PART 1", Engine::freshMain },
        { Part2Waiting, "Unable to connect", Part2UnableToConnect, "RETRY PART 2", Engine::freshComp },
        { Part2UnableToConnect, "Unable to connect", Part2UnableToConnect, "RETRY PART 2", Engine::freshComp },
        { Part2WrongBootloader, "Unable to connect", Part2UnableToConnect, "RETRY PART 2", Engine::freshComp },
        { Part2WrongDevice, "Unable to connect", Part2UnableToConnect, "RETRY PART 2", Engine::freshComp },
        { Part1Waiting, "Device connected", Part1Updating, "UPDATE PART 1", Engine::kept },
        { Part1UnableToConnect, "Device connected", Part1Updating, "RETRY PART 1", Engine::kept },
        { Part1WrongBootloader, "Device connected", Part1Updating, "RETRY PART 1", Engine::kept },
        { Part1WrongDevice, "Device connected", Part1Updating, "RETRY PART 1", Engine::kept },
        { Part2Waiting, "Device connected", Part2Updating, "UPDATE PART 2", Engine::kept },
        { Part2UnableToConnect, "Device connected", Part2Updating, "RETRY PART 2", Engine::kept },
        { Part2WrongBootloader, "Device connected", Part2Updating, "RETRY PART 2", Engine::kept },
        { Part2WrongDevice, "Device connected", Part2Updating, "RETRY PART 2", Engine::kept },
    };

    for (const auto& row : rows)
    {
        const auto context = std::string (row.status) + " in step " + std::to_string (row.from);
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        screen->setState (row.from);

        // The error steps have no engine until the user retries.
        if (screen->bootLoader == nullptr)
            clickStepButton();

        ASSERT_TRUE (waitForOpenAttempts (1)) << context;
        auto* engineBefore = screen->bootLoader.get();

        receiveStatus (row.status);

        const auto transferStarted = row.engine == Engine::kept;
        EXPECT_EQ (screen->state, row.to) << context;
        EXPECT_EQ (screen->updateButton.getButtonText(), row.caption) << context;
        EXPECT_EQ (screen->updateButton.isVisible(), ! transferStarted) << context;
        EXPECT_EQ (screen->progressBar.isVisible(), transferStarted) << context;
        EXPECT_EQ (screen->currentStatus, transferStarted ? "Checking device..." : row.status) << context;
        expectEngine (row.engine, engineBefore, 1, context);
        ASSERT_NE (screen->bootLoader, nullptr) << context;
        EXPECT_EQ (screen->bootLoader->lastCommand, transferStarted ? 1 : 0) << context;
    }
}

TEST_F (MainScreenStateMachine, AnyOtherTextStartsTheExchangeOnTheSameEngine)
{
    for (const juce::String status : { "Device connected", "unable to connect", "Unable to connect.", "" })
    {
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        auto* engine = startPart1Attempt();

        receiveStatus (status);

        EXPECT_EQ (screen->state, Part1Updating) << status;
        EXPECT_EQ (screen->currentStatus, "Checking device...") << status;
        EXPECT_EQ (screen->progressValue, -1.0) << status;
        EXPECT_FALSE (screen->updateButton.isVisible()) << status;
        EXPECT_TRUE (screen->progressBar.isVisible()) << status;
        EXPECT_EQ (screen->updateButton.getButtonText(), "UPDATE PART 1") << status;
        EXPECT_EQ (screen->bootLoader.get(), engine) << status;
        EXPECT_EQ (unit().openAttempts(), 1) << status;
    }
}

TEST_F (MainScreenStateMachine, WrongUnitDuringTheExchangeDropsTheEngine)
{
    const StatusRow rows[] = {
        { Part1Waiting, "Wrong boot loader.", Part1WrongBootloader, "RETRY PART 1", Engine::none },
        { Part1Waiting, "Wrong device.", Part1WrongDevice, "RETRY PART 1", Engine::none },
        { Part2Waiting, "Wrong boot loader.", Part2WrongBootloader, "RETRY PART 2", Engine::none },
        { Part2Waiting, "Wrong device.", Part2WrongDevice, "RETRY PART 2", Engine::none },
    };

    for (const auto& row : rows)
    {
        screen = std::make_unique<MainContentComponent>();
        screen->setState (row.from);
        receiveStatus ("Device connected");

        receiveStatus (row.status);

        EXPECT_EQ (screen->state, row.to) << row.status;
        expectEngine (row.engine, nullptr, 0, row.status);
        EXPECT_EQ (screen->updateButton.getButtonText(), row.caption) << row.status;
        EXPECT_TRUE (screen->updateButton.isVisible()) << row.status;
        EXPECT_FALSE (screen->progressBar.isVisible()) << row.status;
    }
}

TEST_F (MainScreenStateMachine, OtherTextsDuringTheExchangeOnlyChangeTheBody)
{
    for (auto [waiting, updating] : { std::pair (Part1Waiting, Part1Updating), std::pair (Part2Waiting, Part2Updating) })
    {
        screen = std::make_unique<MainContentComponent>();
        screen->setState (waiting);
        auto* engine = screen->bootLoader.get();
        receiveStatus ("Device connected");

        for (const juce::String status : { "Erasing...", "Programming...", "There was no response from device", "Unable to connect" })
        {
            receiveStatus (status);

            EXPECT_EQ (screen->state, updating) << status;
            EXPECT_EQ (screen->currentStatus, status);
            EXPECT_EQ (screen->bootLoader.get(), engine) << status;
            EXPECT_FALSE (screen->updateButton.isVisible()) << status;
            EXPECT_TRUE (screen->progressBar.isVisible()) << status;
        }
    }
}

TEST_F (MainScreenStateMachine, UpdateAfterAPartIsDoneReleasesTheEngine)
{
    for (auto done : { Part1Done, AllDone })
    {
        screen = std::make_unique<MainContentComponent>();
        screen->setState (Part1Waiting);
        screen->setState (done);
        ASSERT_NE (screen->bootLoader, nullptr);

        screen->handleAsyncUpdate();

        EXPECT_EQ (screen->bootLoader, nullptr) << done;
        EXPECT_EQ (screen->state, done);
    }
}

TEST_F (MainScreenStateMachine, UpdatesOutsideTheConnectionStepsChangeNothing)
{
    for (int value : { (int) Welcome, (int) ConnectInstructions, 14 })
    {
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        // A live engine that the update could wrongly start the exchange on.
        auto* engine = startPart1Attempt();
        screen->setState (static_cast<AppState> (value));
        const auto caption = screen->updateButton.getButtonText();

        receiveStatus ("Device connected");

        EXPECT_EQ (screen->state, value);
        EXPECT_EQ (screen->currentStatus, "Device connected");
        ASSERT_EQ (screen->bootLoader.get(), engine);
        EXPECT_EQ (engine->lastCommand, 0);
        EXPECT_EQ (screen->updateButton.getButtonText(), caption);
        EXPECT_TRUE (screen->updateButton.isVisible());
        EXPECT_FALSE (screen->progressBar.isVisible());
    }
}

TEST_F (MainScreenStateMachine, StaleUpdateInAnErrorStepWithoutEngineStaysThere)
{
    screen->setState (Part1WrongDevice);

    receiveStatus ("Device connected");

    EXPECT_EQ (screen->state, Part1WrongDevice);
    EXPECT_TRUE (screen->updateButton.isVisible());
    EXPECT_FALSE (screen->progressBar.isVisible());
}

TEST_F (MainScreenStateMachine, StepButtonActsOnTheCurrentStep)
{
    struct Row
    {
        AppState from;
        AppState to;
        const char* caption;
        Engine engine;
    };

    const Row rows[] = {
        { Welcome, ConnectInstructions, "CONTINUE", Engine::kept },
        { ConnectInstructions, Part1Waiting, "UPDATE PART 1", Engine::freshMain },
        { Part1Waiting, Part1Waiting, "UPDATE PART 1", Engine::freshMain },
        { Part1UnableToConnect, Part1UnableToConnect, "RETRY PART 1", Engine::freshMain },
        { Part1WrongBootloader, Part1WrongBootloader, "RETRY PART 1", Engine::freshMain },
        { Part1WrongDevice, Part1WrongDevice, "RETRY PART 1", Engine::freshMain },
        { Part1Updating, Part1Updating, "UPDATE PART 1", Engine::kept },
        { Part1Done, Part2Waiting, "UPDATE PART 2", Engine::freshComp },
        { Part2Waiting, Part2Waiting, "UPDATE PART 2", Engine::freshComp },
        { Part2UnableToConnect, Part2UnableToConnect, "RETRY PART 2", Engine::freshComp },
        { Part2WrongBootloader, Part2WrongBootloader, "RETRY PART 2", Engine::freshComp },
        { Part2WrongDevice, Part2WrongDevice, "RETRY PART 2", Engine::freshComp },
        { Part2Updating, Part2Updating, "UPDATE PART 1", Engine::kept },
        { static_cast<AppState> (14), static_cast<AppState> (14), "UPDATE PART 1", Engine::kept },
    };

    for (const auto& row : rows)
    {
        const auto context = "from step " + std::to_string (row.from);
        screen = std::make_unique<MainContentComponent>();
        unit().reset();
        startPart1Attempt();
        screen->setState (row.from);
        ASSERT_TRUE (waitForOpenAttempts (startsAnAttempt (row.from) ? 2 : 1)) << context;
        auto* engineBefore = screen->bootLoader.get();
        const auto opensBefore = unit().openAttempts();

        clickStepButton();

        EXPECT_EQ (screen->state, row.to) << context;
        EXPECT_EQ (screen->updateButton.getButtonText(), row.caption) << context;
        expectEngine (row.engine, engineBefore, opensBefore, context);
    }
}

TEST_F (MainScreenStateMachine, RetryKeepsTheErrorLineUntilTheNewEngineReports)
{
    screen->setState (Part1WrongBootloader);

    clickStepButton();
    EXPECT_EQ (screen->state, Part1WrongBootloader);
    ASSERT_NE (screen->bootLoader, nullptr);

    receiveStatus ("Device connected");
    EXPECT_EQ (screen->state, Part1Updating);
}

TEST_F (MainScreenStateMachine, ExitQuitsTheApplicationWithoutAsking)
{
    ScopedRecordingApplication app;
    screen->setState (AllDone);

    clickStepButton();
    EXPECT_EQ (app.application->quitRequests, 1);
    EXPECT_TRUE (screen->updateFinished);
}

TEST_F (MainScreenStateMachine, FinishedStaysSetAfterAllDone)
{
    screen->setState (AllDone);
    screen->setState (Welcome);

    EXPECT_TRUE (screen->updateFinished);
}

TEST_F (MainScreenStateMachine, ChangelogButtonOpensAtMostOneWindow)
{
    screen->buttonClicked (&screen->changelogButton);
    ChangelogWindow* first = screen->changelogWindow;
    ASSERT_NE (first, nullptr);
    EXPECT_TRUE (first->isVisible());
    EXPECT_EQ (first->getWidth(), 500);
    EXPECT_EQ (first->getHeight(), 350);

    screen->buttonClicked (&screen->changelogButton);
    EXPECT_EQ (screen->changelogWindow.getComponent(), first);
    EXPECT_EQ (openChangelogWindows(), 1);
    EXPECT_EQ (screen->state, Welcome);

    first->userTriedToCloseWindow();
    EXPECT_EQ (screen->changelogWindow, nullptr);
    EXPECT_EQ (openChangelogWindows(), 0);

    screen->buttonClicked (&screen->changelogButton);
    EXPECT_NE (screen->changelogWindow, nullptr);
    EXPECT_EQ (openChangelogWindows(), 1);

    screen->changelogWindow->userTriedToCloseWindow();
}

TEST_F (MainScreenStateMachine, ReconnectsEveryTwoSecondsWhileNoUnitIsFound)
{
    const auto start = juce::Time::getMillisecondCounter();
    screen->setState (Part1Waiting);

    ASSERT_TRUE (pumpUntil ([this] { return screen->state == Part1UnableToConnect; }, 4000));
    const auto firstTimeout = juce::Time::getMillisecondCounter() - start;
    EXPECT_GE (firstTimeout, 1900u);
    EXPECT_TRUE (waitForOpenAttempts (2));

    ASSERT_TRUE (pumpUntil ([] { return unit().openAttempts() == 3; }, 4000));
    EXPECT_EQ (screen->state, Part1UnableToConnect);
    EXPECT_NE (screen->bootLoader, nullptr);
}

TEST_F (MainScreenStateMachine, PartTwoRunsToTheEndByItself)
{
    configureUnit (2);
    screen->setState (Part2Waiting);

    ASSERT_TRUE (pumpUntil ([this] { return screen->state == AllDone; }, 60000)) << "stuck in step " << screen->state;
    ASSERT_TRUE (pumpUntil ([this] { return screen->bootLoader == nullptr; }, 1000));

    EXPECT_TRUE (screen->updateFinished);
    EXPECT_EQ (screen->updateButton.getButtonText(), "EXIT");
    EXPECT_TRUE (screen->updateButton.isVisible());
    EXPECT_FALSE (screen->progressBar.isVisible());
    EXPECT_EQ (screen->progressValue, 1.0);
    EXPECT_TRUE (unit().report().endOfFile);
    EXPECT_FALSE (unit().isOpen());
}

TEST_F (MainScreenStateMachine, WrongBootloaderStopsUntilTheUserRetries)
{
    configureUnit (1);
    screen->setState (Part2Waiting);

    ASSERT_TRUE (pumpUntil ([this] { return screen->state == Part2WrongBootloader; }, 5000)) << "stuck in step " << screen->state;
    EXPECT_EQ (screen->bootLoader, nullptr);
    EXPECT_FALSE (unit().isOpen());

    // Nothing more happens by itself.
    pumpUntil ([] { return false; }, 300);
    EXPECT_EQ (screen->state, Part2WrongBootloader);
    EXPECT_EQ (unit().sessionCount(), 1);
}

TEST_F (MainScreenStateMachine, WrongDeviceStopsUntilTheUserRetries)
{
    configureUnit (2, 3);
    screen->setState (Part2Waiting);

    ASSERT_TRUE (pumpUntil ([this] { return screen->state == Part2WrongDevice; }, 5000)) << "stuck in step " << screen->state;
    EXPECT_EQ (screen->bootLoader, nullptr);
}

TEST_F (MainScreenStateMachine, DestroyingTheScreenDuringATransferClosesTheDevice)
{
    configureUnit (2);
    screen->setState (Part2Waiting);
    ASSERT_TRUE (pumpUntil ([this] { return screen->state == Part2Updating && unit().isOpen(); }, 5000));

    screen = nullptr;

    EXPECT_FALSE (unit().isOpen());
    EXPECT_EQ (unit().closeCalls(), 1);
}
