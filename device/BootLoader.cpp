#include "BootLoader.h"

#include "BinaryData.h"
#include "MainComponent.h"

#include <algorithm>
#include <chrono>

const juce::uint16 BootLoader::crc_table[16] = {
    0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50A5, 0x60C6, 0x70E7,
    0x8108, 0x9129, 0xA14A, 0xB16B, 0xC18C, 0xD1AD, 0xE1CE, 0xF1EF
};

unsigned char BootLoader::Buff[BootLoader::kPayloadBufferSize] = {};
bool BootLoader::Escape = false;
juce::uint64 BootLoader::NextRetryTimeInMs = 0;
juce::CriticalSection BootLoader::frameLock;

namespace
{
// Retransmission deadlines run on a monotonic clock: a time-of-day step backwards would
// otherwise hold back the next transmission for as long as the step.
juce::uint64 MonotonicMilliseconds()
{
    using namespace std::chrono;
    return (juce::uint64) duration_cast<milliseconds> (steady_clock::now().time_since_epoch()).count();
}

bool NeedsEscape (unsigned char byte)
{
    return byte == kFrameStart || byte == kFrameEnd || byte == kFrameEscape;
}

constexpr const char* kNotValidHexFile = "Not a valid hex file.";

constexpr unsigned char kDataRecord = 0x00;
constexpr unsigned char kExtendedSegmentAddressRecord = 0x02;
constexpr unsigned char kExtendedLinearAddressRecord = 0x04;

// A frame whose reply is lost is sent again, and the unit applies every record in it once
// more. An address record behind a data record would make the repeated data land under the
// new upper address, in the wrong place. Such a record therefore opens the next frame,
// where a repetition sets the same address again before the data that follows it.
bool MustOpenNextFrame (const unsigned char* recordA, size_t lengthA, const unsigned char* recordB, size_t lengthB)
{
    constexpr size_t typeIndex = 3;

    if (lengthA <= typeIndex || lengthB <= typeIndex)
        return false;

    return recordA[typeIndex] == kDataRecord
           && (recordB[typeIndex] == kExtendedSegmentAddressRecord || recordB[typeIndex] == kExtendedLinearAddressRecord);
}
} // namespace

//==============================================================================
BootLoader::BootLoader (MainContentComponent* owner, unsigned int vendorId, unsigned int productId)
    : juce::Thread (kTransferThreadName),
      ownerComponent (owner),
      hidHolder (std::make_unique<UsbHid>()),
      usbVendorId (vendorId),
      usbProductId (productId)
{
    jassert (owner != nullptr);
    startThread();
    startTimer (kTimerPeriodMs);
}

BootLoader::~BootLoader()
{
    stopTimer();
    signalThreadShouldExit();
    notify();

    // The loop notices the request within a pass. A thread that is still busy after the limit
    // is waited for rather than killed: killing it could leave the device open or frameLock held.
    if (! waitForThreadToExit (kThreadStopLimitMs))
        waitForThreadToExit (-1);

    hidHolder.reset();
    ownerComponent = nullptr;
}

//==============================================================================
// Image selection. Takes frameLock because the transfer thread reads the reader and the
// selection flags under it once command 1 has been answered.
void BootLoader::LoadMainHexFile()
{
    const juce::ScopedLock sl (frameLock);
    mainImageSelected = true;
    compImageSelected = false;
    hexManager.SelectImage (BinaryData::temp_binary_data_0, (size_t) BinaryData::temp_binary_data_0Size);
}

void BootLoader::LoadCompHexFile()
{
    const juce::ScopedLock sl (frameLock);
    mainImageSelected = false;
    compImageSelected = true;
    hexManager.SelectImage (BinaryData::temp_binary_data_1, (size_t) BinaryData::temp_binary_data_1Size);
}

//==============================================================================
juce::uint16 BootLoader::CalculateCrc (const unsigned char* data, size_t length)
{
    juce::uint16 crc = 0;

    for (size_t i = 0; i < length; ++i)
    {
        crc = (juce::uint16) ((crc << 4) ^ crc_table[(crc >> 12) ^ (data[i] >> 4)]);
        crc = (juce::uint16) ((crc << 4) ^ crc_table[(crc >> 12) ^ (data[i] & 0x0F)]);
    }

    return crc;
}

bool BootLoader::SendCommand (char command, unsigned short retries, unsigned short intervalMs)
{
    // Hand-over: frameLock. Command 1 is built on the message thread while the transmitter
    // polls on the transfer thread; both hold the lock, so the frame, its length and the
    // armed counters reach the transmitter together.
    const juce::ScopedLock sl (frameLock);

    outFrameLength = 0;
    lastCommand = command;
    size_t payloadLength = 0;

    if (! AssemblePayload (command, payloadLength))
        return false;

    if (! FitsOutFrame (payloadLength))
    {
        SetStatus (kNotValidHexFile);
        return false;
    }

    const bool fixedTransmission = command == CommandFive;
    retriesPerCommand = fixedTransmission ? 1 : retries;
    retriesLeft = retriesPerCommand;
    retryIntervalMs = fixedTransmission ? 10 : intervalMs;

    const auto crc = CalculateCrc (Buff, payloadLength);
    Buff[payloadLength] = (unsigned char) (crc & 0xFF);
    Buff[payloadLength + 1] = (unsigned char) (crc >> 8);

    EscapePayloadIntoOutFrame (payloadLength);
    return true;
}

// The unescaped payload in Buff: command byte, then the command's data. False for an unknown
// command, or for a program frame that cannot be read from the image.
bool BootLoader::AssemblePayload (char command, size_t& payloadLength)
{
    switch (command)
    {
        case CommandQueryDevice:
        case CommandErase:
        case CommandFive:
            Buff[0] = (unsigned char) command;
            payloadLength = 1;
            return true;

        case CommandReadCrc:
            Buff[0] = (unsigned char) command;
            std::fill (Buff + 1, Buff + 11, (unsigned char) 0);
            payloadLength = 11;
            return true;

        case CommandProgram:
            return AssembleProgramPayload (payloadLength);

        default:
            return false;
    }
}

// Command byte, then the next two records of the image, or only the next one when the second
// must open the next frame. Records are read straight into Buff, each with the room that is
// left, keeping two bytes for the CRC.
bool BootLoader::AssembleProgramPayload (size_t& payloadLength)
{
    Buff[0] = (unsigned char) CommandProgram;

    if (rewindImage && ! hexManager.Rewind())
    {
        SetStatus ("Error in resetting the file pointer");
        return false;
    }

    const auto roomForRecords = (unsigned int) (kPayloadBufferSize - 1 - 2);
    const auto recordA = hexManager.GetNextHexRecord (reinterpret_cast<char*> (Buff + 1), roomForRecords);

    if (recordA == 0 || recordA > roomForRecords)
    {
        SetStatus (kNotValidHexFile);
        return false;
    }

    const auto roomForB = roomForRecords - recordA;
    auto recordB = hexManager.GetNextHexRecord (reinterpret_cast<char*> (Buff + 1 + recordA), roomForB);

    if (recordB > roomForB)
    {
        SetStatus (kNotValidHexFile);
        return false;
    }

    if (recordB > 0 && MustOpenNextFrame (Buff + 1, recordA, Buff + 1 + recordA, recordB))
    {
        hexManager.UnreadLastRecord();
        recordB = 0;
    }

    payloadLength = 1 + (size_t) recordA + recordB;
    return true;
}

// Report-id byte, start byte, the payload and its two CRC bytes each escaped as needed, and
// the end byte. The CRC bytes are not known yet, so they are counted as escaped.
bool BootLoader::FitsOutFrame (size_t payloadLength) const
{
    const auto escapes = (size_t) std::count_if (Buff, Buff + payloadLength, NeedsEscape);
    return 2 + payloadLength + escapes + 2 * 2 + 1 <= kOutFrameSize;
}

void BootLoader::EscapePayloadIntoOutFrame (size_t payloadLength)
{
    outFrame[0] = 0x00;
    outFrame[1] = kFrameStart;
    outFrameLength = 2;

    for (size_t i = 0; i < payloadLength + 2; ++i)
    {
        if (NeedsEscape (Buff[i]))
            AppendToOutFrame (kFrameEscape);

        AppendToOutFrame (Buff[i]);
    }

    AppendToOutFrame (kFrameEnd);
}

void BootLoader::AppendToOutFrame (unsigned char byte)
{
    outFrame[outFrameLength++] = byte;
}

//==============================================================================
void BootLoader::BuildRxFrame (unsigned char* data, unsigned short length)
{
    // A read error arrives as 65535 and falls under the length limit with oversized reports.
    if (length == 0 || length > kLongestDeframedReport)
        return;

    // Once a frame completes, the rest of the report is dropped: the next pass reads the next one.
    for (unsigned short i = 0; i < length && ! inFrameComplete; ++i)
        ConsumeReceivedByte (data[i]);
}

void BootLoader::ConsumeReceivedByte (unsigned char byte)
{
    if (inFrameLength >= kInFrameResetLength)
        inFrameLength = 0;

    if (Escape)
    {
        StoreReceivedByte (byte);
        return;
    }

    switch (byte)
    {
        case kFrameStart:
            inFrameLength = 0;
            break;

        case kFrameEscape:
            Escape = true;
            break;

        case kFrameEnd:
            CheckFrameEnd();
            break;

        default:
            StoreReceivedByte (byte);
            break;
    }
}

void BootLoader::StoreReceivedByte (unsigned char byte)
{
    inFrame[inFrameLength++] = byte;
    Escape = false;
}

// The collected bytes stay as they are when the CRC does not match or the frame is too short:
// only a start byte or the length limit resets the collection.
void BootLoader::CheckFrameEnd()
{
    const auto n = (size_t) inFrameLength;

    if (n < 3)
        return;

    const auto received = (juce::uint16) (inFrame[n - 2] | (inFrame[n - 1] << 8));

    if (received == CalculateCrc (inFrame, n - 2))
        inFrameComplete = true;
}

//==============================================================================
void BootLoader::run()
{
    if (! hidHolder->Open (usbVendorId, usbProductId))
        return;

    SetStatus ("Device connected");
    deviceOpen = true;

    unsigned char report[kInputReportSize];

    while (! threadShouldExit())
    {
        const int count = hidHolder->Read (report, sizeof (report));
        HandleInputReport (report, (unsigned short) count);
        TransmitTask();
        wait (kLoopPauseMs);
    }

    hidHolder->Close();
    deviceOpen = false;
}

void BootLoader::HandleInputReport (unsigned char* data, unsigned short length)
{
    BuildRxFrame (data, length);

    if (inFrameComplete)
    {
        DispatchReply();
    }
    else if (replyTimedOut)
    {
        replyTimedOut = false;
        ReportTimeOut();
    }
}

void BootLoader::ReportTimeOut()
{
    // Hand-over: frameLock, as lastCommand may have been set on the message thread.
    const juce::ScopedLock sl (frameLock);

    if (lastCommand >= CommandQueryDevice && lastCommand <= CommandReadCrc)
        SetStatus ("There was no response from device");
}

void BootLoader::DispatchReply()
{
    // Hand-over: frameLock, held across the next SendCommand so the transmitter sees either
    // the old frame disarmed or the new one complete.
    const juce::ScopedLock sl (frameLock);

    // Any good frame ends the wait for the frame in flight, whatever it says.
    sendState = Ready;
    retriesLeft = 0;
    inFrameComplete = false;

    const auto first = (signed char) inFrame[1];
    const auto second = (signed char) inFrame[2];

    switch (inFrame[0])
    {
        case 1:
            HandleQueryReply (first, second);
            break;

        case 2:
            SetStatus ("Programming...");
            SendCommand (CommandProgram, kEngineRetries, kEngineRetryIntervalMs);
            break;

        case 3:
            HandleProgramReply();
            break;

        case 4:
            HandleReadCrcReply (first, second);
            break;

        default:
            break;
    }
}

void BootLoader::HandleQueryReply (signed char deviceKind, signed char bootloaderKind)
{
    const bool kindMatchesImage = (bootloaderKind == 1 && mainImageSelected)
                                  || (bootloaderKind == 2 && compImageSelected);

    if (deviceKind != 2)
    {
        SetStatus ("Wrong device.");
    }
    else if (kindMatchesImage)
    {
        SetStatus ("Erasing...");
        SendCommand (CommandErase, kEngineRetries, kEngineRetryIntervalMs);
    }
    else
    {
        SetStatus ("Wrong boot loader.");
    }
}

void BootLoader::HandleProgramReply()
{
    rewindImage = false;

    // Hand-over: pendingProgress, an atomic the timer publishes into the owner. The value is
    // stored before the next frame is read, so it counts the records acknowledged so far.
    const auto lines = hexManager.totalLines;
    pendingProgress = lines == 0 ? 0.0 : (double) hexManager.currentRecord / (double) lines;

    // A refused frame ends the part only when the whole image has gone out. A line that is no
    // record, or one too long for a frame, leaves its text on the transfer screen instead of
    // being reported as a finished update.
    const bool imageComplete = hexManager.AllRecordsDelivered();

    if (! SendCommand (CommandProgram, retriesPerCommand, retryIntervalMs) && imageComplete)
        programmingFinished = true;

    rewindImage = true;
}

void BootLoader::HandleReadCrcReply (signed char first, signed char second)
{
    if (first == 0 && second == 0)
        SetStatus ("Verification passed successfully");
    else
        SetStatus ("CRC: " + juce::String ((int) first) + "." + juce::String ((int) second));
}

//==============================================================================
void BootLoader::TransmitTask()
{
    // Hand-over: frameLock, so a frame being built on the message thread is never sent half-done.
    const juce::ScopedLock sl (frameLock);
    const auto now = MonotonicMilliseconds();

    if (sendState == Ready)
    {
        if (retriesLeft == 0)
            return;

        SendOutFrame();
        sendState = AwaitingReply;
        NextRetryTimeInMs = now + retryIntervalMs;
    }
    else if (retriesLeft == 0)
    {
        replyTimedOut = true;
        sendState = Ready;
    }
    else if (now > NextRetryTimeInMs)
    {
        NextRetryTimeInMs = now + retryIntervalMs;
        SendOutFrame();
    }
}

void BootLoader::SendOutFrame()
{
    hidHolder->Write (outFrame, outFrameLength);
    --retriesLeft;
}

//==============================================================================
void BootLoader::SetStatus (const juce::String& text)
{
    // Hand-over: statusLock; the timer takes the text and clears the flag under the same lock.
    const juce::ScopedLock sl (statusLock);
    statusText = text;
    statusChanged = true;
}

void BootLoader::timerCallback()
{
    CountDownConnection();
    // Progress goes first, so that the owner's value is final before a completion moves it on.
    PublishProgress();
    HandOverStatus();
    AdvanceOwnerWhenFinished();
}

void BootLoader::CountDownConnection()
{
    // Counts on past 0, so "Unable to connect" comes at most once per engine. Hand-over:
    // deviceOpen is an atomic set by the transfer thread.
    if (--connectTicksLeft == 0 && ! deviceOpen)
        SetStatus ("Unable to connect");
}

void BootLoader::PublishProgress()
{
    // Hand-over: pendingProgress, an atomic; taking it leaves "nothing new" behind.
    const double progress = pendingProgress.exchange (kNoPendingProgress);

    if (progress != kNoPendingProgress)
        ownerComponent->progressValue = progress;
}

void BootLoader::HandOverStatus()
{
    juce::String text;

    {
        // Hand-over: statusLock. Taking the text and clearing the flag in one step keeps a text
        // that the transfer thread sets meanwhile for the next tick.
        const juce::ScopedLock sl (statusLock);

        if (! statusChanged)
            return;

        text = statusText;
        statusChanged = false;
    }

    ownerComponent->currentStatus = text;
    ownerComponent->triggerAsyncUpdate();
}

void BootLoader::AdvanceOwnerWhenFinished()
{
    // Hand-over: programmingFinished, an atomic set once by the transfer thread.
    if (! programmingFinished.exchange (false))
        return;

    // The last reply's progress may have been stored after this tick's first look; the
    // completion flag was stored after it, so publishing again gives the owner exactly 1.0
    // before its state moves on.
    PublishProgress();

    if (ownerComponent->state == Part2Updating)
        ownerComponent->setState (AllDone);
    else if (ownerComponent->state == Part1Updating)
        ownerComponent->setState (Part1Done);
    else
        return;

    ownerComponent->triggerAsyncUpdate();
}
