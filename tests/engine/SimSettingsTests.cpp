// How the preloaded unit is set up from ORVALITH_SIM, and the report files it writes.
#include "ReportFiles.h"
#include "SimSettings.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <hidapi.h>

using namespace zendravel::sim;

namespace
{
TEST (SimSettings, ReadsEveryKey)
{
    std::string error;
    const auto settings = parseSimSettings ("device_kind=3;bootloader_kinds=1,2,2;absent_opens=4;absent_between=1;"
                                            "latency_ms=20;silent_after=7;unplug_after=9;report_dir=/tmp/r",
                                            error);
    ASSERT_TRUE (settings) << error;

    const auto& c = settings->config;
    EXPECT_EQ (c.deviceKind, 3);
    EXPECT_EQ (c.bootloaderKinds, (std::vector<int> { 1, 2, 2 }));
    EXPECT_EQ (c.absentOpens, 4);
    EXPECT_EQ (c.absentBetween, 1);
    EXPECT_EQ (c.latencyMs, 20);
    EXPECT_EQ (c.silentAfterFrames, 7);
    EXPECT_EQ (c.unplugAfterFrames, 9);
    EXPECT_EQ (settings->reportDirectory, "/tmp/r");
}

TEST (SimSettings, DefaultsAndTheDemoFlag)
{
    const struct
    {
        const char* text;
        int absentOpens;
        int absentBetween;
        std::vector<int> kinds;
        int latencyMs;
    } cases[] = {
        { "", 0, 0, { 1 }, 0 },
        { " ; ;", 0, 0, { 1 }, 0 },
        { "demo", 2, 2, { 1, 2 }, 0 },
        { "demo;bootloader_kinds=2", 2, 2, { 2 }, 0 },
        { "absent_opens=5;demo", 2, 2, { 1, 2 }, 0 },
        { " latency_ms = 5 ; demo ", 2, 2, { 1, 2 }, 5 },
    };

    for (const auto& c : cases)
    {
        std::string error;
        const auto settings = parseSimSettings (c.text, error);
        ASSERT_TRUE (settings) << c.text << ": " << error;
        EXPECT_EQ (settings->config.absentOpens, c.absentOpens) << c.text;
        EXPECT_EQ (settings->config.absentBetween, c.absentBetween) << c.text;
        EXPECT_EQ (settings->config.bootloaderKinds, c.kinds) << c.text;
        EXPECT_EQ (settings->config.latencyMs, c.latencyMs) << c.text;
        EXPECT_EQ (settings->config.deviceKind, 2) << c.text;
        EXPECT_EQ (settings->config.silentAfterFrames, -1) << c.text;
        EXPECT_EQ (settings->config.unplugAfterFrames, -1) << c.text;
        EXPECT_TRUE (settings->reportDirectory.empty()) << c.text;
    }
}

TEST (SimSettings, RefusesWhatItDoesNotKnow)
{
    const struct
    {
        const char* text;
        const char* complaint;
    } cases[] = {
        { "colour=blue", "unknown key 'colour'" },
        { "latency_ms=5;script=demo", "unknown key 'script'" },
        { "latency_ms=-1", "latency_ms" },
        { "latency_ms=5ms", "latency_ms" },
        { "absent_opens=", "absent_opens" },
        { "silent_after=99999999999", "silent_after" },
        { "device_kind=256", "device_kind" },
        { "bootloader_kinds=", "bootloader_kinds" },
        { "bootloader_kinds=1,", "bootloader_kinds" },
        { "bootloader_kinds=1,,2", "bootloader_kinds" },
        { "demo=1", "demo" },
        { "device_kind", "device_kind" },
        { "report_dir=", "report_dir" },
    };

    for (const auto& c : cases)
    {
        std::string error;
        EXPECT_FALSE (parseSimSettings (c.text, error)) << c.text;
        EXPECT_NE (error.find (c.complaint), std::string::npos) << c.text << ": " << error;
    }
}

class ReportFilesTest : public testing::Test
{
protected:
    void TearDown() override
    {
        SimulatedUnit::instance().setObserver (nullptr);
        SimulatedUnit::instance().configure ({});
    }

    TemporaryDirectory reports;
    const std::string directory = reports.path;
};

TEST_F (ReportFilesTest, LogsEventsAndWritesEachSessionOnClose)
{
    auto& unit = SimulatedUnit::instance();
    Config config;
    config.absentOpens = 1;
    unit.configure (config);
    ReportFiles files (directory);
    unit.setObserver (&files);

    EXPECT_EQ (hid_open (0x04d8, 0xf035, nullptr), nullptr);
    auto* device = hid_open (0x04d8, 0xf035, nullptr);
    ASSERT_NE (device, nullptr);

    auto send = [device] (Bytes wire)
    {
        wire.insert (wire.begin(), 0x00);
        hid_write (device, wire.data(), wire.size());
    };

    send (encodeFrame ({ 0x01 }));
    send ({ 0x01, 0x02, 0x42, 0x21, 0x04 }); // bad CRC
    send (encodeFrame ({ 0x02 }));
    // Upper address 0x1d00; 4 bytes at 0x0010; 2 bytes at 0x0020 with a bad checksum.
    send (encodeFrame ({ 0x03, 0x02, 0x00, 0x00, 0x04, 0x1d, 0x00, 0xdd, 0x04, 0x00, 0x10, 0x00, 0x0a, 0x0b, 0x1c, 0x2d, 0x8e }));
    send (encodeFrame ({ 0x03, 0x02, 0x00, 0x20, 0x00, 0xff, 0xff, 0x00 }));
    send (encodeFrame ({ 0x03, 0x00, 0x00, 0x00, 0x01, 0xff }));

    EXPECT_FALSE (fileExists (directory + "/session-1.txt")) << "written on close only";
    hid_close (device);
    hid_exit();

    EXPECT_EQ (contentsOf (directory + "/events.log"),
               "open 1 absent\n"
               "open 2 ok session=1\n"
               "frame session=1 cmd=1\n"
               "bad_frame session=1\n"
               "frame session=1 cmd=2\n"
               "frame session=1 cmd=3\n"
               "frame session=1 cmd=3\n"
               "frame session=1 cmd=3\n"
               "close session=1\n"
               "exit\n");
    EXPECT_EQ (contentsOf (directory + "/session-1.txt"),
               "frames=5\nbad_frames=1\nrecords=3\nerrors=1\nerased=1\neof=1\n");
    EXPECT_EQ (contentsOf (directory + "/session-1.flash"), "1d000010 0a0b1c2d\n");
    EXPECT_FALSE (fileExists (directory + "/session-1.txt.part"));
    unit.setObserver (nullptr);
}

TEST (ReportFormat, FlashRunsAreLowerCaseHexLines)
{
    const FlashMemory::Runs flash { { 0x1fc02ff0, { 0x8f, 0x56, 0x06, 0x78 } }, { 0xabcdef01, { 0x00, 0xff } } };
    EXPECT_EQ (flashAsText (flash), "1fc02ff0 8f560678\nabcdef01 00ff\n");
    EXPECT_EQ (flashAsText ({}), "");
}
} // namespace
