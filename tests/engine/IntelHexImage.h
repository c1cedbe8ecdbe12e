#pragma once

#include <cstdint>
#include <map>
#include <vector>
#include <string>

// An Intel HEX image read on its own terms, apart from the program's reader and the simulated
// unit, so the unit's flash can be checked against what the image really holds.
struct IntelHexImage
{
    std::map<std::uint32_t, std::uint8_t> data; // every data byte at its full address
    int lines = 0;
    int records = 0;
    std::vector<std::uint8_t> recordTypes; // in the order of the lines
    bool endOfFile = false;
};

// Throws std::runtime_error, naming the line, for anything that is not a well-formed record
// of type 00, 01 or 04.
IntelHexImage readIntelHex (const std::string& text);
