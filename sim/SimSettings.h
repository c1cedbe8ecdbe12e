#pragma once

#include "SimulatedUnit.h"

#include <optional>
#include <string>

namespace zendravel::sim
{
// The simulated unit's set-up when it is preloaded into the program: the unit's configuration
// and the directory for its reports (empty: no reports).
struct SimSettings
{
    Config config;
    std::string reportDirectory;
};

// Reads the ORVALITH_SIM text: key=value items separated by ';', a bare word being a flag.
// Returns nothing, and says why in `error`, for an unknown key or a value that does not fit.
std::optional<SimSettings> parseSimSettings (const std::string& text, std::string& error);
} // namespace zendravel::sim
