#pragma once

#include "Hex.h"
#include "USB_HID.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>

class MainContentComponent;

constexpr unsigned int kVendorId = 0x04D8, kProductId = 0xF035;
constexpr const char* kTransferThreadName = "Quindervale bootloader";

constexpr unsigned char kFrameStart = 0x01;
constexpr unsigned char kFrameEnd = 0x04;
constexpr unsigned char kFrameEscape = 0x10;

enum BootLoaderCommand : char
{
    CommandQueryDevice = 1,
    CommandErase = 2,
    CommandProgram = 3,
    CommandReadCrc = 4,
    CommandFive = 5
};

enum SendState : int
{
    Ready = 0,
    AwaitingReply = 1
};

// The firmware transfer engine: a transfer thread that opens the unit's bootloader and runs
// the framed command exchange, and a 50 ms timer on the message thread that hands status,
// progress and completion to the owner. One engine per connection attempt.
//
// The members are plain data that the frame layer, the transfer loop and the tests all use;
// the comment on each group says which thread uses it and how it crosses threads.
class BootLoader final : public juce::Timer,
                         public juce::Thread
{
public:
    // Message thread. Starts the transfer thread (which tries once to open the device) and the
    // timer at once.
    BootLoader (MainContentComponent* owner, unsigned int vendorId, unsigned int productId);

    // Message thread. Stops the timer, then waits for the transfer thread to close the device.
    ~BootLoader() override;

    // Builds the frame for command 1 to 5 in outFrame and arms its transmissions; sends
    // nothing itself. Message thread for command 1, transfer thread for the others.
    bool SendCommand (char command, unsigned short retries, unsigned short intervalMs);

    // Message thread, right after construction: choose the image of part 1 or part 2.
    void LoadMainHexFile();
    void LoadCompHexFile();

    // Message thread, every 50 ms: connection time-out, progress, status, completion.
    void timerCallback() override;

    // Transfer thread: open, poll/dispatch/transmit until asked to exit, close.
    void run() override;

    // Transfer thread: de-frames one input report into inFrame; its outcome is inFrameComplete.
    void BuildRxFrame (unsigned char* data, unsigned short length);

    // Transfer thread: the receive half of one loop pass, for one input report (its byte count
    // as 16 bits, so a read error arrives as 65535): de-frame it, then dispatch a completed
    // reply or report a time-out that TransmitTask marked.
    void HandleInputReport (unsigned char* data, unsigned short length);

    // Transfer thread: acts on the reply in inFrame, which has passed its CRC check.
    void DispatchReply();

    // Transfer thread: the send half of one loop pass: first transmission, retransmission or
    // time-out of the frame in outFrame.
    void TransmitTask();

    // CRC-16/XMODEM by nibbles, as used in both directions.
    static juce::uint16 CalculateCrc (const unsigned char* data, size_t length);

    static constexpr size_t kPayloadBufferSize = 1000;
    static constexpr size_t kOutFrameSize = 1000;
    static constexpr size_t kInFrameSize = 255;
    static constexpr unsigned short kInFrameResetLength = 253;
    static constexpr unsigned short kLongestDeframedReport = 99;
    static constexpr size_t kInputReportSize = 245;
    static constexpr int kTimerPeriodMs = 50;
    static constexpr int kConnectTimeOutTicks = 40;
    static constexpr int kThreadStopLimitMs = 100;
    static constexpr int kLoopPauseMs = 1;
    static constexpr unsigned short kEngineRetries = 3;
    static constexpr unsigned short kEngineRetryIntervalMs = 5000;

    // Progress value meaning "no new value since the timer last published one".
    static constexpr double kNoPendingProgress = -2.0;

    static const juce::uint16 crc_table[16];

    // Program-wide frame state, shared by every engine (only one exchanges frames at a time).
    // Buff is guarded by frameLock; Escape belongs to whichever thread de-frames.
    static unsigned char Buff[kPayloadBufferSize];
    static bool Escape;
    static juce::uint64 NextRetryTimeInMs;

    // The frame in flight and its counters, the retransmission state, the image reader and the
    // image selection. SendCommand builds the frame on the message thread (command 1) and on
    // the transfer thread (all others); the transmitter and the dispatch use it on the transfer
    // thread. All of them hold frameLock, so the transmitter never sees armed counters next to
    // a half-built frame.
    juce::uint16 outFrameLength = 0;
    char lastCommand = 0;
    juce::uint16 retriesPerCommand = 0;
    juce::uint16 retriesLeft = 0;
    juce::uint16 retryIntervalMs = 0;
    unsigned char outFrame[kOutFrameSize] = {};
    int sendState = Ready;
    bool replyTimedOut = false;

    // Receive side: transfer thread only.
    bool inFrameComplete = false;
    juce::uint16 inFrameLength = 0;
    unsigned char inFrame[kInFrameSize] = {};

    bool rewindImage = true;
    CHexManager hexManager;

    // Not owned. Touched on the message thread only, by the timer.
    MainContentComponent* ownerComponent;

    // Written by the transfer thread only; released after it has ended.
    std::unique_ptr<UsbHid> hidHolder;

    // Status for the owner, guarded by statusLock: producers on both threads, the timer takes
    // the text and clears the flag in one step, so a text set meanwhile waits for the next tick.
    juce::String statusText;
    bool statusChanged = false;

    // Set by the transfer thread, read by the timer.
    std::atomic<bool> deviceOpen { false };

    const unsigned int usbVendorId;
    const unsigned int usbProductId;

    // Timer only.
    int connectTicksLeft = kConnectTimeOutTicks;

    // Under frameLock, with the reader they describe.
    bool mainImageSelected = false;
    bool compImageSelected = false;

    // Set by the transfer thread when the whole image has been acknowledged, consumed by the timer.
    std::atomic<bool> programmingFinished { false };

    // Written by the transfer thread after each programming reply, published into the owner's
    // progressValue by the timer: the owner's members are only ever touched on the message thread.
    std::atomic<double> pendingProgress { kNoPendingProgress };

    static juce::CriticalSection frameLock;
    juce::CriticalSection statusLock;

private:
    bool AssemblePayload (char command, size_t& payloadLength);
    bool AssembleProgramPayload (size_t& payloadLength);
    bool FitsOutFrame (size_t payloadLength) const;
    void EscapePayloadIntoOutFrame (size_t payloadLength);
    void AppendToOutFrame (unsigned char byte);

    void ConsumeReceivedByte (unsigned char byte);
    void StoreReceivedByte (unsigned char byte);
    void CheckFrameEnd();

    void HandleQueryReply (signed char deviceKind, signed char bootloaderKind);
    void HandleProgramReply();
    void HandleReadCrcReply (signed char first, signed char second);
    void ReportTimeOut();
    void SendOutFrame();
    void SetStatus (const juce::String& text);

    void CountDownConnection();
    void PublishProgress();
    void HandOverStatus();
    void AdvanceOwnerWhenFinished();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BootLoader)
};
