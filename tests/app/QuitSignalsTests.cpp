#include <gtest/gtest.h>

#include "QuitSignals.h"

#include <csignal>

namespace
{
void pumpMessages (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

volatile std::sig_atomic_t earlierHandlerCalls = 0;

void earlierHandler (int)
{
    earlierHandlerCalls = earlierHandlerCalls + 1;
}
} // namespace

TEST (QuitSignals, TerminateInterruptAndHangUpReachTheMessageThread)
{
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
    {
        int requests = 0;
        QuitSignalListener listener ([&] {
            EXPECT_TRUE (juce::MessageManager::getInstance()->isThisTheMessageThread());
            ++requests;
        });

        std::raise (signalNumber);
        EXPECT_EQ (requests, 0) << "called from the signal handler";

        pumpMessages (50);
        EXPECT_EQ (requests, 1) << signalNumber;
    }
}

TEST (QuitSignals, SignalsBeforeTheLoopRunsMakeOneRequest)
{
    int requests = 0;
    QuitSignalListener listener ([&] { ++requests; });

    std::raise (SIGTERM);
    std::raise (SIGTERM);
    std::raise (SIGINT);
    pumpMessages (50);

    EXPECT_EQ (requests, 1);
}

TEST (QuitSignals, EarlierHandlersComeBackAfterwards)
{
    struct sigaction earlier {};
    earlier.sa_handler = earlierHandler;
    sigemptyset (&earlier.sa_mask);
    struct sigaction saved {};
    sigaction (SIGTERM, &earlier, &saved);

    {
        int requests = 0;
        QuitSignalListener listener ([&] { ++requests; });
        std::raise (SIGTERM);
        pumpMessages (20);
        EXPECT_EQ (requests, 1);
        EXPECT_EQ (earlierHandlerCalls, 0);
    }

    std::raise (SIGTERM);
    EXPECT_EQ (earlierHandlerCalls, 1);

    sigaction (SIGTERM, &saved, nullptr);
}
