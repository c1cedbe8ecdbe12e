#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The unit's side of the bootloader's framing: 0x01 opens a frame, 0x04 closes it, 0x10 is
// put in front of any 0x01, 0x04 or 0x10 inside it, and a CRC-16/XMODEM of the payload
// follows the payload, low byte first. Written apart from the program's own framing code so
// that a mistake made the same way on both sides cannot hide.
namespace zendravel::sim
{
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kStartByte = 0x01;
constexpr std::uint8_t kEndByte = 0x04;
constexpr std::uint8_t kEscapeByte = 0x10;

// CRC-16/XMODEM, bit by bit: polynomial 0x1021, initial value 0, nothing reflected, no final xor.
std::uint16_t crc16Xmodem (const std::uint8_t* data, std::size_t size);

// The bytes a frame with this payload takes on the wire, start and end bytes included.
Bytes encodeFrame (const Bytes& payload);

// Collects the frames in a stream of received bytes, which may be cut anywhere into reports.
class FrameDecoder final
{
public:
    // One frame as it ended, in the order of arrival. A bad one had a bad CRC, broken
    // framing, or was a run of bytes outside any frame.
    struct Frame
    {
        bool wellFormed = false;
        Bytes payload; // CRC checked and removed; empty for a bad frame
    };

    std::vector<Frame> feed (const std::uint8_t* data, std::size_t size);

private:
    void takeByte (std::uint8_t byte, std::vector<Frame>& frames);
    void endFrame (std::vector<Frame>& frames);
    void abandonFrame (std::vector<Frame>& frames);

    // Longer than any frame the unit's buffer takes; a frame that grows past it is broken.
    static constexpr std::size_t kMaxFrameBytes = 1024;

    Bytes body;
    bool insideFrame = false;
    bool escapePending = false;
    bool strayBytesCounted = false;
};
} // namespace zendravel::sim
