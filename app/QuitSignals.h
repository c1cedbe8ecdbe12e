#pragma once

#include <juce_events/juce_events.h>

#include <csignal>
#include <functional>
#include <iterator>

// Turns SIGTERM, SIGINT and SIGHUP, the ways a Linux session, desktop or terminal asks a
// program to end, into one call of onQuitRequested on the message thread. The signal handler
// only writes a byte into a pipe (nothing else is safe there); JUCE's event loop watches the
// pipe's read end.
//
// Constructed and destroyed on the message thread; one instance at a time. The handlers that
// were installed before (JUCE's own SIGINT handler among them) come back on destruction.
class QuitSignalListener final
{
public:
    explicit QuitSignalListener (std::function<void()> onQuitRequested);
    ~QuitSignalListener();

private:
    void drainPipeAndNotify (int readFd);

    std::function<void()> onQuit;
    int pipeFds[2] = { -1, -1 };

    static constexpr int handledSignals[] = { SIGTERM, SIGINT, SIGHUP };
    struct sigaction previousActions[std::size (handledSignals)] {};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuitSignalListener)
};
