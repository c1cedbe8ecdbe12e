// Set-up of the simulated unit when it is preloaded into the program: configured from
// ORVALITH_SIM before main runs, reporting into its report_dir if one is given.
#include "ReportFiles.h"
#include "SimSettings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
using namespace zendravel::sim;

SimSettings settingsFromEnvironment()
{
    const char* text = std::getenv ("ORVALITH_SIM");

    if (text == nullptr)
        return {};

    std::string error;

    if (auto settings = parseSimSettings (text, error))
        return *settings;

    std::fprintf (stderr, "ORVALITH_SIM: %s; the simulated unit uses its defaults\n", error.c_str());
    return {};
}

struct PreloadSetup final
{
    PreloadSetup()
    {
        const auto settings = settingsFromEnvironment();
        auto& unit = SimulatedUnit::instance();
        unit.configure (settings.config);

        if (! settings.reportDirectory.empty())
        {
            reportFiles = std::make_unique<ReportFiles> (settings.reportDirectory);
            unit.setObserver (reportFiles.get());
        }
    }

    ~PreloadSetup()
    {
        SimulatedUnit::instance().setObserver (nullptr);
    }

    std::unique_ptr<ReportFiles> reportFiles;
};

const PreloadSetup preloadSetup;
} // namespace
