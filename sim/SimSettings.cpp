#include "SimSettings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace zendravel::sim
{
namespace
{
std::string trimmed (const std::string& text)
{
    const auto first = text.find_first_not_of (" \t");

    if (first == std::string::npos)
        return {};

    return text.substr (first, text.find_last_not_of (" \t") - first + 1);
}

std::optional<int> parseInt (const std::string& text, int lowest, int highest)
{
    if (text.empty())
        return std::nullopt;

    errno = 0;
    char* end = nullptr;
    const long value = std::strtol (text.c_str(), &end, 10);

    if (errno != 0 || *end != '\0' || value < lowest || value > highest)
        return std::nullopt;

    return static_cast<int> (value);
}

std::optional<std::vector<int>> parseIntList (const std::string& text, int lowest, int highest)
{
    std::vector<int> values;
    std::istringstream items (text);
    std::string item;

    while (std::getline (items, item, ','))
    {
        const auto value = parseInt (trimmed (item), lowest, highest);

        if (! value)
            return std::nullopt;

        values.push_back (*value);
    }

    if (values.empty() || text.back() == ',')
        return std::nullopt;

    return values;
}

void applyDemo (Config& config)
{
    config.absentOpens = 2;
    config.absentBetween = 2;
    config.bootloaderKinds = { 1, 2 };
}

// Applies one key=value item; returns an explanation when it cannot.
std::string applyItem (const std::string& key, const std::optional<std::string>& value, SimSettings& settings)
{
    auto& config = settings.config;

    if (key == "demo")
    {
        if (value)
            return "'demo' takes no value";

        applyDemo (config);
        return {};
    }

    if (! value)
        return "'" + key + "' is not a flag";

    if (key == "report_dir")
    {
        if (value->empty())
            return "report_dir is empty";

        settings.reportDirectory = *value;
        return {};
    }

    if (key == "bootloader_kinds")
    {
        const auto kinds = parseIntList (*value, -128, 255);

        if (! kinds)
            return "bootloader_kinds needs a comma-separated list of byte values";

        config.bootloaderKinds = *kinds;
        return {};
    }

    struct IntKey
    {
        const char* name;
        int lowest;
        int* target;
    };

    const IntKey intKeys[] = {
        { "device_kind", -128, &config.deviceKind },
        { "absent_opens", 0, &config.absentOpens },
        { "absent_between", 0, &config.absentBetween },
        { "latency_ms", 0, &config.latencyMs },
        { "silent_after", 0, &config.silentAfterFrames },
        { "unplug_after", 0, &config.unplugAfterFrames },
    };

    for (const auto& intKey : intKeys)
    {
        if (key != intKey.name)
            continue;

        const int highest = intKey.lowest < 0 ? 255 : INT_MAX;
        const auto parsed = parseInt (*value, intKey.lowest, highest);

        if (! parsed)
            return key + " needs a whole number from " + std::to_string (intKey.lowest) + " to " + std::to_string (highest);

        *intKey.target = *parsed;
        return {};
    }

    return "unknown key '" + key + "'";
}
} // namespace

std::optional<SimSettings> parseSimSettings (const std::string& text, std::string& error)
{
    SimSettings settings;
    std::istringstream items (text);
    std::string item;

    while (std::getline (items, item, ';'))
    {
        item = trimmed (item);

        if (item.empty())
            continue;

        const auto equals = item.find ('=');
        const auto key = trimmed (item.substr (0, equals));
        std::optional<std::string> value;

        if (equals != std::string::npos)
            value = trimmed (item.substr (equals + 1));

        error = applyItem (key, value, settings);

        if (! error.empty())
            return std::nullopt;
    }

    return settings;
}
} // namespace zendravel::sim
