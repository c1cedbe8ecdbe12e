#include "SimulatedUnit.h"

#include <algorithm>
#include <cstring>
#include <thread>

// hidapi leaves the handle's type to each backend; this is the simulated unit's.
struct hid_device_
{
    bool nonBlocking = false;
};

namespace zendravel::sim
{
namespace
{
// The unit's USB reports carry 64 bytes; a longer output report does not fit.
constexpr std::size_t kReportBytes = 64;

enum Command : std::uint8_t
{
    QueryDevice = 1,
    Erase = 2,
    Program = 3,
    ReadCrc = 4,
    CommandFive = 5
};

enum RecordType : std::uint8_t
{
    Data = 0x00,
    EndOfFile = 0x01,
    ExtendedLinearAddress = 0x04
};

// Flips a byte just before the end byte, so the frame stays a frame but its CRC fails.
void flipByte (Bytes& bytes)
{
    if (! bytes.empty())
        bytes[bytes.size() >= 2 ? bytes.size() - 2 : 0] ^= 0xff;
}

std::size_t expectedPayloadSize (std::uint8_t command)
{
    return command == ReadCrc ? 11 : 1;
}
} // namespace

SimulatedUnit& SimulatedUnit::instance()
{
    static SimulatedUnit unit;
    return unit;
}

SimulatedUnit::SimulatedUnit() = default;
SimulatedUnit::~SimulatedUnit() = default;

void SimulatedUnit::configure (const Config& newConfig)
{
    std::lock_guard<std::mutex> guard (lock);
    config = newConfig;
    resetLocked();
}

void SimulatedUnit::reset()
{
    std::lock_guard<std::mutex> guard (lock);
    resetLocked();
}

void SimulatedUnit::resetLocked()
{
    openDevice = nullptr;
    session.reset();
    lastClosed = {};
    opens = sessions = closes = exits = misuses = absentLeft = 0;
    errorText = nullptr;
    reportQueued.notify_all();
}

void SimulatedUnit::setObserver (UnitObserver* newObserver)
{
    std::lock_guard<std::mutex> guard (lock);
    observer = newObserver;
}

SessionReport SimulatedUnit::report() const
{
    std::lock_guard<std::mutex> guard (lock);
    return session != nullptr ? snapshot (*session) : lastClosed;
}

int SimulatedUnit::openAttempts() const
{
    std::lock_guard<std::mutex> guard (lock);
    return opens;
}

int SimulatedUnit::sessionCount() const
{
    std::lock_guard<std::mutex> guard (lock);
    return sessions;
}

int SimulatedUnit::closeCalls() const
{
    std::lock_guard<std::mutex> guard (lock);
    return closes;
}

int SimulatedUnit::exitCalls() const
{
    std::lock_guard<std::mutex> guard (lock);
    return exits;
}

int SimulatedUnit::handleMisuses() const
{
    std::lock_guard<std::mutex> guard (lock);
    return misuses;
}

bool SimulatedUnit::isOpen() const
{
    std::lock_guard<std::mutex> guard (lock);
    return openDevice != nullptr;
}

SessionReport SimulatedUnit::snapshot (const Session& s) const
{
    auto copy = s.report;
    copy.flash = s.flash.runs();
    return copy;
}

bool SimulatedUnit::acceptsHandle (const hid_device* device)
{
    if (device != nullptr && device == openDevice)
        return true;

    ++misuses;
    errorText = L"not an open device";
    return false;
}

bool SimulatedUnit::nextOpenIsAbsent()
{
    if (opens <= config.absentOpens)
        return true;

    if (absentLeft > 0)
    {
        --absentLeft;
        return true;
    }

    return false;
}

bool SimulatedUnit::nextOpenFindsUnit() const
{
    std::lock_guard<std::mutex> guard (lock);
    return openDevice == nullptr && opens + 1 > config.absentOpens && absentLeft == 0;
}

hid_device* SimulatedUnit::open (bool idsMatch)
{
    waitOutOpenLatency();

    std::lock_guard<std::mutex> guard (lock);
    const int number = ++opens;

    // One bootloader talks to one host: a second open while a session runs finds it busy.
    if (! idsMatch || openDevice != nullptr || nextOpenIsAbsent())
    {
        errorText = L"no unit attached";

        if (observer != nullptr)
            observer->openFailed (number);

        return nullptr;
    }

    session = std::make_unique<Session>();
    session->report.session = ++sessions;
    session->random.seed (config.seed);
    unplugIfDue (*session);
    devices.push_back (std::make_unique<hid_device>());
    openDevice = devices.back().get();
    errorText = nullptr;

    if (observer != nullptr)
        observer->sessionOpened (number, sessions);

    return openDevice;
}

// A slow open keeps the unit free meanwhile, so a test can watch it and delete the engine
// while its transfer thread is still inside hid_open.
void SimulatedUnit::waitOutOpenLatency()
{
    int latencyMs = 0;

    {
        std::lock_guard<std::mutex> guard (lock);
        latencyMs = config.openLatencyMs;
    }

    if (latencyMs > 0)
        std::this_thread::sleep_for (std::chrono::milliseconds (latencyMs));
}

void SimulatedUnit::close (hid_device* device)
{
    std::lock_guard<std::mutex> guard (lock);

    if (! acceptsHandle (device))
        return;

    ++closes;
    lastClosed = snapshot (*session);

    if (observer != nullptr)
        observer->sessionClosed (lastClosed);

    session.reset();
    openDevice = nullptr;
    absentLeft = config.absentBetween;
    reportQueued.notify_all();
}

void SimulatedUnit::libraryReleased()
{
    std::lock_guard<std::mutex> guard (lock);
    ++exits;

    if (observer != nullptr)
        observer->libraryReleased();
}

const wchar_t* SimulatedUnit::lastError() const
{
    std::lock_guard<std::mutex> guard (lock);
    return errorText != nullptr ? errorText : L"Success";
}

int SimulatedUnit::setNonBlocking (hid_device* device, bool nonBlocking)
{
    std::lock_guard<std::mutex> guard (lock);

    if (! acceptsHandle (device))
        return -1;

    device->nonBlocking = nonBlocking;
    return 0;
}

int SimulatedUnit::write (hid_device* device, const unsigned char* data, std::size_t length)
{
    std::lock_guard<std::mutex> guard (lock);

    if (! acceptsHandle (device))
        return -1;

    auto& s = *session;

    if (s.unplugged)
    {
        errorText = L"unit unplugged";
        return -1;
    }

    // The unit has no numbered reports: the leading 0 says so and is not sent.
    if (length == 0 || data[0] != 0 || length - 1 > kReportBytes)
    {
        errorText = L"not an output report of the unit";
        return -1;
    }

    const int number = ++s.writes;

    if (number != config.dropFrameNumber)
    {
        Bytes bytes (data + 1, data + length);

        if (number == config.corruptFrameNumber)
            flipByte (bytes);

        receive (s, std::move (bytes));
    }

    return static_cast<int> (length);
}

void SimulatedUnit::receive (Session& s, Bytes bytes)
{
    for (const auto& frame : s.decoder.feed (bytes.data(), bytes.size()))
    {
        if (! frame.wellFormed)
        {
            ++s.report.badFrames;

            if (observer != nullptr)
                observer->badFrameReceived (s.report.session);

            continue;
        }

        ++s.report.frames;
        s.report.commands.push_back (frame.payload[0]);

        if (observer != nullptr)
            observer->frameReceived (s.report.session, frame.payload[0]);

        const bool deaf = s.report.frames <= config.deafForFrames;
        const bool silent = config.silentAfterFrames >= 0 && s.report.frames > config.silentAfterFrames;

        if (! deaf && ! silent)
            interpret (s, frame.payload);

        unplugIfDue (s);
    }
}

// The k-th frame still arrives whole, but its answer can no longer be read.
void SimulatedUnit::unplugIfDue (Session& s)
{
    if (config.unplugAfterFrames < 0 || s.report.frames < config.unplugAfterFrames || s.unplugged)
        return;

    s.unplugged = true;
    s.pending.clear();
    reportQueued.notify_all();
}

void SimulatedUnit::interpret (Session& s, const Bytes& payload)
{
    const auto command = payload[0];

    if (command != Program && payload.size() != expectedPayloadSize (command))
        ++s.report.errors;

    switch (command)
    {
        case QueryDevice:
            answer (s, { QueryDevice, static_cast<std::uint8_t> (config.deviceKind), static_cast<std::uint8_t> (bootloaderKindFor (s.report.session)) });
            break;

        case Erase:
            s.flash.erase();
            s.report.erased = true;
            answer (s, { Erase });
            break;

        case Program:
            programRecords (s, payload);
            answer (s, { Program });
            break;

        case ReadCrc:
            answer (s, { ReadCrc, config.verifyReply[0], config.verifyReply[1] });
            break;

        case CommandFive:
            break;

        default:
            ++s.report.errors;
            break;
    }
}

int SimulatedUnit::bootloaderKindFor (int sessionNumber) const
{
    if (config.bootloaderKinds.empty())
        return 1;

    const auto index = std::min<std::size_t> (static_cast<std::size_t> (sessionNumber - 1), config.bootloaderKinds.size() - 1);
    return config.bootloaderKinds[index];
}

// The payload behind the command byte holds whole HEX records as bytes: count, address high,
// address low, type, count data bytes, checksum.
void SimulatedUnit::programRecords (Session& s, const Bytes& payload)
{
    if (payload.size() < 2)
    {
        ++s.report.errors;
        return;
    }

    for (std::size_t position = 1; position < payload.size();)
    {
        const auto remaining = payload.size() - position;
        const std::size_t recordSize = 5 + static_cast<std::size_t> (payload[position]);

        if (remaining < recordSize)
        {
            ++s.report.errors;
            return;
        }

        programRecord (s, payload.data() + position);
        position += recordSize;
    }
}

void SimulatedUnit::programRecord (Session& s, const std::uint8_t* record)
{
    const std::size_t count = record[0];
    const std::uint32_t offset = static_cast<std::uint32_t> (record[1] << 8 | record[2]);
    const auto type = record[3];
    const auto* data = record + 4;

    std::uint8_t sum = 0;

    for (std::size_t i = 0; i < count + 5; ++i)
        sum = static_cast<std::uint8_t> (sum + record[i]);

    const std::uint64_t address = (static_cast<std::uint64_t> (s.upperAddress) << 16) + offset;
    const bool checksumGood = sum == 0;
    const bool wellFormed = checksumGood
                            && ((type == Data && address + count <= 0x100000000ull)
                                || (type == EndOfFile && count == 0)
                                || (type == ExtendedLinearAddress && count == 2));

    if (! wellFormed)
    {
        ++s.report.errors;
        return;
    }

    ++s.report.records;

    // Flash takes new data only where it was erased: data over different data is the unit's
    // error, even where the image writes the right bytes there again later.
    if (type == Data)
        s.report.errors += s.flash.program (static_cast<std::uint32_t> (address), data, count) > 0 ? 1 : 0;
    else if (type == ExtendedLinearAddress)
        s.upperAddress = static_cast<std::uint32_t> (data[0] << 8 | data[1]);
    else
        s.report.endOfFile = true;
}

Bytes SimulatedUnit::noise (Session& s, int size)
{
    std::uniform_int_distribution<int> byteValue (0, 255);
    Bytes bytes;

    while (static_cast<int> (bytes.size()) < size)
    {
        const auto byte = static_cast<std::uint8_t> (byteValue (s.random));

        // Noise never forms or breaks a frame, so the reply behind it still gets through.
        if (byte != kStartByte && byte != kEndByte && byte != kEscapeByte)
            bytes.push_back (byte);
    }

    return bytes;
}

int SimulatedUnit::extraDelayMs (Session& s)
{
    if (config.slowReplyFraction <= 0.0 || config.slowReplyMaxMs <= 0)
        return 0;

    if (std::uniform_real_distribution<double> (0.0, 1.0) (s.random) >= config.slowReplyFraction)
        return 0;

    return std::uniform_int_distribution<int> (1, config.slowReplyMaxMs) (s.random);
}

void SimulatedUnit::answer (Session& s, const Bytes& payload)
{
    const int number = ++s.report.replies;
    bool dropped = number == config.dropReplyNumber;

    if (config.dropReplyFraction > 0.0)
        dropped = std::uniform_real_distribution<double> (0.0, 1.0) (s.random) < config.dropReplyFraction || dropped;

    if (dropped)
        return;

    auto wire = encodeFrame (payload);

    if (number == config.corruptReplyNumber)
        flipByte (wire);

    const auto delay = config.latencyMs + (number == config.delayReplyNumber ? config.delayReplyMs : 0) + extraDelayMs (s);
    const auto readyAt = Clock::now() + std::chrono::milliseconds (delay);

    if (config.garbageBytesBeforeReplies > 0)
        queueReport (s, readyAt, noise (s, config.garbageBytesBeforeReplies));

    if (config.oversizeReportBytes > 0)
    {
        auto decoy = encodeFrame ({ QueryDevice, 3, static_cast<std::uint8_t> (bootloaderKindFor (s.report.session)) });
        decoy.resize (std::max<std::size_t> (decoy.size(), static_cast<std::size_t> (config.oversizeReportBytes)), 0);
        queueReport (s, readyAt, std::move (decoy));
    }

    const int copies = number == config.duplicateReplyNumber ? 2 : 1;

    for (int copy = 0; copy < copies; ++copy)
    {
        if (config.splitReplyBytes > 0)
        {
            const auto chunk = static_cast<std::size_t> (config.splitReplyBytes);

            for (std::size_t start = 0; start < wire.size(); start += chunk)
                queueReport (s, readyAt, Bytes (wire.begin() + static_cast<std::ptrdiff_t> (start), wire.begin() + static_cast<std::ptrdiff_t> (std::min (wire.size(), start + chunk))));
        }
        else
        {
            auto report = wire;

            if (config.padReplies)
                report.resize (std::max (report.size(), kReportBytes), 0);

            queueReport (s, readyAt, std::move (report));
        }
    }

    reportQueued.notify_all();
}

void SimulatedUnit::queueReport (Session& s, Clock::time_point readyAt, Bytes bytes)
{
    s.pending.push_back ({ readyAt, std::move (bytes) });
}

int SimulatedUnit::read (hid_device* device, unsigned char* data, std::size_t length)
{
    std::unique_lock<std::mutex> guard (lock);

    if (! acceptsHandle (device))
        return -1;

    return readLocked (guard, device, data, length, device->nonBlocking ? 0 : -1);
}

int SimulatedUnit::read (hid_device* device, unsigned char* data, std::size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> guard (lock);
    return readLocked (guard, device, data, length, timeoutMs);
}

// Reports come out in the order they were queued; one that is not due yet holds back those
// behind it, as a unit that is late with one answer is late with the next too.
int SimulatedUnit::readLocked (std::unique_lock<std::mutex>& guard, hid_device* device, unsigned char* data, std::size_t length, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds (std::max (timeoutMs, 0));

    for (;;)
    {
        if (! acceptsHandle (device))
            return -1;

        if (session->unplugged)
        {
            errorText = L"unit unplugged";
            return -1;
        }

        const auto now = Clock::now();
        auto& pending = session->pending;

        if (! pending.empty() && pending.front().readyAt <= now)
        {
            const auto& bytes = pending.front().bytes;
            const auto count = std::min (length, bytes.size());
            std::memcpy (data, bytes.data(), count);
            pending.pop_front();
            return static_cast<int> (count);
        }

        if (timeoutMs == 0 || (timeoutMs > 0 && now >= deadline))
            return 0;

        if (pending.empty())
        {
            if (timeoutMs < 0)
                reportQueued.wait (guard);
            else
                reportQueued.wait_until (guard, deadline);
        }
        else
        {
            const auto due = pending.front().readyAt;
            reportQueued.wait_until (guard, timeoutMs < 0 ? due : std::min (due, deadline));
        }
    }
}
} // namespace zendravel::sim
