// The preloadable build of the simulated unit, in a real process: it must replace the
// system's hidapi and follow ORVALITH_SIM exactly as the end-to-end tests expect.
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace
{
struct ProbeRun
{
    std::string output; // stdout and stderr
    int status = -1;
};

ProbeRun runProbe (const std::string& simSettings)
{
    const std::string command = "env LD_PRELOAD='" ZENDRAVEL_SIM_PRELOAD "' ORVALITH_SIM='" + simSettings
                                + "' '" ZENDRAVEL_PRELOAD_PROBE "' 2>&1";
    ProbeRun run;
    auto* pipe = popen (command.c_str(), "r");

    if (pipe == nullptr)
        return run;

    std::array<char, 256> buffer;

    while (std::fgets (buffer.data(), (int) buffer.size(), pipe) != nullptr)
        run.output += buffer.data();

    run.status = pclose (pipe);
    return run;
}

class PreloadedUnit : public testing::Test
{
protected:
    TemporaryDirectory reports;
    const std::string directory = reports.path;
};

TEST_F (PreloadedUnit, FollowsTheSettingsAndWritesItsReports)
{
    const auto run = runProbe ("absent_opens=1;bootloader_kinds=2;report_dir=" + directory);
    EXPECT_EQ (run.status, 0) << run.output;
    // Reply 1 with device kind 2 and bootloader kind 2, escaped, its CRC low byte first.
    EXPECT_EQ (run.output, "attempts=2\nreply=011001020210107104\n");
    EXPECT_EQ (contentsOf (directory + "/events.log"),
               "open 1 absent\nopen 2 ok session=1\nframe session=1 cmd=1\nclose session=1\nexit\n");
    EXPECT_EQ (contentsOf (directory + "/session-1.txt"),
               "frames=1\nbad_frames=0\nrecords=0\nerrors=0\nerased=0\neof=0\n");
    EXPECT_TRUE (fileExists (directory + "/session-1.flash"));
    EXPECT_EQ (contentsOf (directory + "/session-1.flash"), "");
}

TEST_F (PreloadedUnit, AnUnknownKeyIsReportedOnceAndLeavesTheDefaults)
{
    const auto run = runProbe ("colour=blue;absent_opens=1;report_dir=" + directory);
    EXPECT_EQ (run.status, 0) << run.output;
    EXPECT_NE (run.output.find ("ORVALITH_SIM: unknown key 'colour'"), std::string::npos) << run.output;
    EXPECT_NE (run.output.find ("attempts=1\nreply=011001021001734104\n"), std::string::npos) << run.output;
    EXPECT_FALSE (fileExists (directory + "/events.log")) << "no report directory by default";
}

TEST_F (PreloadedUnit, WithoutSettingsTheUnitIsThereAtOnce)
{
    const auto run = runProbe ("");
    EXPECT_EQ (run.output, "attempts=1\nreply=011001021001734104\n");
}
} // namespace
