#include "IntelHexImage.h"

#include <sstream>
#include <stdexcept>
#include <vector>

namespace
{
int hexDigit (char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';

    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;

    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;

    return -1;
}

std::vector<std::uint8_t> bytesOfLine (const std::string& line, int number)
{
    auto fail = [number] (const std::string& why)
    {
        throw std::runtime_error ("line " + std::to_string (number) + ": " + why);
    };

    if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0)
        fail ("not a record");

    std::vector<std::uint8_t> bytes;

    for (std::size_t i = 1; i < line.size(); i += 2)
    {
        const int high = hexDigit (line[i]);
        const int low = hexDigit (line[i + 1]);

        if (high < 0 || low < 0)
            fail ("not a hex digit");

        bytes.push_back (static_cast<std::uint8_t> (high * 16 + low));
    }

    if (bytes.size() != 5u + bytes[0])
        fail ("byte count does not match");

    unsigned sum = 0;

    for (auto byte : bytes)
        sum += byte;

    if (sum % 256 != 0)
        fail ("bad checksum");

    return bytes;
}
} // namespace

IntelHexImage readIntelHex (const std::string& text)
{
    IntelHexImage image;
    std::istringstream lines (text);
    std::string line;
    std::uint32_t upper = 0;

    while (std::getline (lines, line))
    {
        if (! line.empty() && line.back() == '\r')
            line.pop_back();

        ++image.lines;
        const auto bytes = bytesOfLine (line, image.lines);
        const std::uint32_t offset = static_cast<std::uint32_t> (bytes[1] << 8 | bytes[2]);
        ++image.records;
        image.recordTypes.push_back (bytes[3]);

        switch (bytes[3])
        {
            case 0x00:
                for (std::size_t i = 0; i < bytes[0]; ++i)
                    image.data[(upper << 16) + offset + static_cast<std::uint32_t> (i)] = bytes[4 + i];
                break;

            case 0x01:
                image.endOfFile = true;
                break;

            case 0x04:
                if (bytes[0] != 2)
                    throw std::runtime_error ("line " + std::to_string (image.lines) + ": type 04 needs 2 bytes");

                upper = static_cast<std::uint32_t> (bytes[4] << 8 | bytes[5]);
                break;

            default:
                throw std::runtime_error ("line " + std::to_string (image.lines) + ": unexpected record type");
        }
    }

    return image;
}
