#pragma once

#include "FlashMemory.h"
#include "UnitFraming.h"

#include <hidapi.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

// The simulated Orvalith bootloader. It stands in for the hardware behind hidapi: the hid_*
// functions of this library talk to the one instance, and tests and the preload set-up
// configure it and read what it received. Every member is guarded by one mutex, because the
// engine's transfer thread calls hid_* while a test thread configures and inspects the unit.
namespace zendravel::sim
{
struct Config
{
    int deviceKind = 2;                     // byte 1 of reply 1
    std::vector<int> bootloaderKinds { 1 }; // byte 2 of reply 1, per session; the last repeats
    std::array<std::uint8_t, 2> verifyReply { 0, 0 }; // bytes 1 and 2 of reply 4

    int absentOpens = 0;   // the first m opens of the process find no unit
    int absentBetween = 0; // after each close the next n opens find no unit
    int latencyMs = 0;     // delay before each reply can be read
    int openLatencyMs = 0; // each hid_open takes this long, found or not, with the unit's lock free

    // Counted in well-formed frames per session; -1 is off. A silent unit still receives
    // (and counts) frames but neither interprets nor answers them. Once an unplugging unit
    // has received its k-th frame (at once for 0), every read and write fails.
    int silentAfterFrames = -1;
    int unplugAfterFrames = -1;
    int deafForFrames = 0; // the first k frames of a session are received but neither interpreted nor answered

    // Faults on replies. Replies are numbered from 1 in each session; 0 is off.
    int dropReplyNumber = 0;
    double dropReplyFraction = 0.0; // drawn from a generator seeded with `seed` at each session start
    std::uint32_t seed = 1;
    int corruptReplyNumber = 0; // one byte of that reply is flipped, so its CRC fails
    int duplicateReplyNumber = 0;
    int delayReplyNumber = 0; // that reply (and so everything queued behind it) comes delayReplyMs late
    int delayReplyMs = 0;
    // Each reply is late, with this probability, by a further 1 to slowReplyMaxMs ms, drawn like
    // dropReplyFraction: a jittery link whose late reply holds back those behind it.
    double slowReplyFraction = 0.0;
    int slowReplyMaxMs = 0;
    int splitReplyBytes = 0; // cut every reply into reports of at most this many bytes
    bool padReplies = false; // fill each (unsplit) reply report with zeros to 64 bytes, as USB hardware does
    int garbageBytesBeforeReplies = 0; // a report of noise (no framing bytes) in front of every reply
    // A report of this many bytes in front of every reply that holds a complete reply 1 with
    // device kind 3 and zero padding: a host that de-frames it reports a wrong device.
    int oversizeReportBytes = 0;

    // Faults on the host's frames. Writes are numbered from 1 in each session; 0 is off.
    int dropFrameNumber = 0;    // accepted by the write, never reaches the unit
    int corruptFrameNumber = 0; // reaches the unit with one byte flipped
};

// What the unit saw in one session (one successful open until its close).
struct SessionReport
{
    int session = 0; // numbered from 1; 0 when there has been no session
    int frames = 0;  // well-formed frames
    int badFrames = 0;
    int records = 0; // HEX records interpreted
    int errors = 0;  // bad records, data over different data since the erase, unknown commands, wrong payload sizes
    bool erased = false;
    bool endOfFile = false; // an end-of-file record was programmed
    int replies = 0;        // replies the unit made, dropped ones included (the numbers faults count)
    std::vector<int> commands; // the command byte of every well-formed frame, in order
    FlashMemory::Runs flash;
};

// Told about events as they happen, while the unit's lock is held: it must not call back.
class UnitObserver
{
public:
    virtual ~UnitObserver() = default;

    virtual void openFailed (int openNumber) = 0;
    virtual void sessionOpened (int openNumber, int session) = 0;
    virtual void frameReceived (int session, int command) = 0;
    virtual void badFrameReceived (int session) = 0;
    virtual void sessionClosed (const SessionReport& report) = 0;
    virtual void libraryReleased() = 0;
};

class SimulatedUnit final
{
public:
    // The unit behind the hid_* functions of this library.
    static SimulatedUnit& instance();

    SimulatedUnit();
    ~SimulatedUnit();

    // Control side, for tests and the preload set-up. configure() also resets.
    void configure (const Config& newConfig);
    void reset();
    void setObserver (UnitObserver* newObserver);

    SessionReport report() const; // the open session, or else the last closed one
    int openAttempts() const;     // every hid_open, successful or not
    int sessionCount() const;
    int closeCalls() const;
    int exitCalls() const;
    int handleMisuses() const; // calls with a handle that is not the open session's
    bool isOpen() const;

    // Host side, called by the hid_* functions.
    hid_device* open (bool idsMatch); // a miss still counts as an attempt
    void close (hid_device* device);
    int write (hid_device* device, const unsigned char* data, std::size_t length);
    int read (hid_device* device, unsigned char* data, std::size_t length); // in the device's mode
    int read (hid_device* device, unsigned char* data, std::size_t length, int timeoutMs); // -1 waits
    int setNonBlocking (hid_device* device, bool nonBlocking);
    void libraryReleased();
    bool nextOpenFindsUnit() const;
    const wchar_t* lastError() const;

private:
    using Clock = std::chrono::steady_clock;

    struct PendingReport
    {
        Clock::time_point readyAt;
        Bytes bytes;
    };

    struct Session
    {
        SessionReport report;
        FrameDecoder decoder;
        FlashMemory flash;
        std::uint32_t upperAddress = 0;
        int writes = 0;
        bool unplugged = false;
        std::deque<PendingReport> pending;
        std::mt19937 random;
    };

    bool acceptsHandle (const hid_device* device);
    int readLocked (std::unique_lock<std::mutex>& guard, hid_device* device, unsigned char* data, std::size_t length, int timeoutMs);
    void resetLocked();
    bool nextOpenIsAbsent();
    void waitOutOpenLatency();
    void receive (Session& session, Bytes bytes);
    void unplugIfDue (Session& session);
    void interpret (Session& session, const Bytes& payload);
    void programRecords (Session& session, const Bytes& payload);
    void programRecord (Session& session, const std::uint8_t* record);
    void answer (Session& session, const Bytes& payload);
    void queueReport (Session& session, Clock::time_point readyAt, Bytes bytes);
    Bytes noise (Session& session, int size);
    int extraDelayMs (Session& session);
    int bootloaderKindFor (int session) const;
    SessionReport snapshot (const Session& session) const;

    mutable std::mutex lock;
    std::condition_variable reportQueued;
    Config config;
    UnitObserver* observer = nullptr;

    std::vector<std::unique_ptr<hid_device>> devices; // kept, so a stale handle stays recognisable
    hid_device* openDevice = nullptr;
    std::unique_ptr<Session> session;
    SessionReport lastClosed;
    int opens = 0;
    int sessions = 0;
    int closes = 0;
    int exits = 0;
    int misuses = 0;
    int absentLeft = 0;
    const wchar_t* errorText = nullptr;
};
} // namespace zendravel::sim
