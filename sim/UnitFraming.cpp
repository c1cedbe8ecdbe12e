#include "UnitFraming.h"

namespace zendravel::sim
{
std::uint16_t crc16Xmodem (const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0;

    for (std::size_t i = 0; i < size; ++i)
    {
        crc ^= static_cast<std::uint16_t> (data[i] << 8);

        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? static_cast<std::uint16_t> ((crc << 1) ^ 0x1021)
                                      : static_cast<std::uint16_t> (crc << 1);
    }

    return crc;
}

static bool needsEscape (std::uint8_t byte)
{
    return byte == kStartByte || byte == kEndByte || byte == kEscapeByte;
}

Bytes encodeFrame (const Bytes& payload)
{
    const auto crc = crc16Xmodem (payload.data(), payload.size());
    Bytes body (payload);
    body.push_back (static_cast<std::uint8_t> (crc & 0xff));
    body.push_back (static_cast<std::uint8_t> (crc >> 8));

    Bytes wire { kStartByte };

    for (auto byte : body)
    {
        if (needsEscape (byte))
            wire.push_back (kEscapeByte);

        wire.push_back (byte);
    }

    wire.push_back (kEndByte);
    return wire;
}

std::vector<FrameDecoder::Frame> FrameDecoder::feed (const std::uint8_t* data, std::size_t size)
{
    std::vector<Frame> frames;

    for (std::size_t i = 0; i < size; ++i)
        takeByte (data[i], frames);

    return frames;
}

void FrameDecoder::takeByte (std::uint8_t byte, std::vector<Frame>& frames)
{
    if (! insideFrame)
    {
        if (byte == kStartByte)
        {
            insideFrame = true;
            strayBytesCounted = false;
            body.clear();
        }
        else if (! strayBytesCounted)
        {
            // A run of bytes outside any frame counts once, however long it is.
            frames.push_back ({});
            strayBytesCounted = true;
        }

        return;
    }

    if (escapePending)
    {
        escapePending = false;

        // Only the three framing bytes are ever escaped; anything else means broken framing.
        if (! needsEscape (byte))
            return abandonFrame (frames);

        body.push_back (byte);
    }
    else if (byte == kEscapeByte)
    {
        escapePending = true;
        return;
    }
    else if (byte == kStartByte)
    {
        // A new start inside a frame cuts the unfinished one short.
        frames.push_back ({});
        body.clear();
        return;
    }
    else if (byte == kEndByte)
    {
        return endFrame (frames);
    }
    else
    {
        body.push_back (byte);
    }

    if (body.size() > kMaxFrameBytes)
        abandonFrame (frames);
}

void FrameDecoder::endFrame (std::vector<Frame>& frames)
{
    insideFrame = false;

    // A command byte and two CRC bytes at least.
    if (body.size() < 3)
    {
        frames.push_back ({});
        return;
    }

    const auto payloadSize = body.size() - 2;
    const auto received = static_cast<std::uint16_t> (body[payloadSize] | (body[payloadSize + 1] << 8));

    if (received != crc16Xmodem (body.data(), payloadSize))
    {
        frames.push_back ({});
        return;
    }

    body.resize (payloadSize);
    frames.push_back ({ true, body });
}

void FrameDecoder::abandonFrame (std::vector<Frame>& frames)
{
    frames.push_back ({});
    insideFrame = false;
    escapePending = false;
    // The rest of the broken frame is part of the same fault, not a second one.
    strayBytesCounted = true;
    body.clear();
}
} // namespace zendravel::sim
