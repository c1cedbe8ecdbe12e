#include "QuitSignals.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{
std::atomic<int> signalPipeWriteFd { -1 };

static_assert (std::atomic<int>::is_always_lock_free, "the signal handler reads this atomic");

// Runs in signal context: only async-signal-safe calls.
void writeQuitByte (int)
{
    const auto savedErrno = errno;
    const char byte = 'q';

    // A full pipe already holds a pending request, so a failed write loses nothing.
    [[maybe_unused]] const auto written = ::write (signalPipeWriteFd.load(), &byte, 1);
    errno = savedErrno;
}

void installHandler (int signalNumber, struct sigaction& previous)
{
    struct sigaction action {};
    action.sa_handler = writeQuitByte;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction (signalNumber, &action, &previous);
}
} // namespace

QuitSignalListener::QuitSignalListener (std::function<void()> onQuitRequested)
    : onQuit (std::move (onQuitRequested))
{
    jassert (signalPipeWriteFd.load() == -1);

    if (::pipe2 (pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        jassertfalse;
        return;
    }

    signalPipeWriteFd = pipeFds[1];
    juce::LinuxEventLoop::registerFdCallback (pipeFds[0], [this] (int fd) { drainPipeAndNotify (fd); });

    for (size_t i = 0; i < std::size (handledSignals); ++i)
        installHandler (handledSignals[i], previousActions[i]);
}

QuitSignalListener::~QuitSignalListener()
{
    if (pipeFds[0] < 0)
        return;

    for (size_t i = 0; i < std::size (handledSignals); ++i)
        sigaction (handledSignals[i], &previousActions[i], nullptr);

    juce::LinuxEventLoop::unregisterFdCallback (pipeFds[0]);
    signalPipeWriteFd = -1;
    ::close (pipeFds[0]);
    ::close (pipeFds[1]);
}

// Message thread. Several signals before the loop gets here make one request.
void QuitSignalListener::drainPipeAndNotify (int readFd)
{
    char buffer[64];

    while (::read (readFd, buffer, sizeof (buffer)) > 0)
    {
    }

    onQuit();
}
