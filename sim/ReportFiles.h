#pragma once

#include "SimulatedUnit.h"

#include <cstdio>
#include <string>

namespace zendravel::sim
{
// Writes what the unit sees into a directory, for tests that run the program as a separate
// process: events.log grows line by line, flushed at once so it can be polled; each session's
// counters (session-<s>.txt) and flash (session-<s>.flash) appear when it closes, written
// under a temporary name and renamed, before its "close" line is logged.
class ReportFiles final : public UnitObserver
{
public:
    explicit ReportFiles (std::string directory);
    ~ReportFiles() override;

    void openFailed (int openNumber) override;
    void sessionOpened (int openNumber, int session) override;
    void frameReceived (int session, int command) override;
    void badFrameReceived (int session) override;
    void sessionClosed (const SessionReport& report) override;
    void libraryReleased() override;

private:
    void logEvent (const std::string& line);
    void writeFile (const std::string& name, const std::string& contents);
    void complain (const std::string& what);

    std::string directory;
    std::FILE* events = nullptr;
    bool complained = false;

    ReportFiles (const ReportFiles&) = delete;
    ReportFiles& operator= (const ReportFiles&) = delete;
};

// The flash in the report format: one line per run, its address as 8 lower-case hex digits,
// a space, and its bytes as lower-case hex pairs.
std::string flashAsText (const FlashMemory::Runs& flash);

// The counters in the report format, one key=value line each.
std::string countersAsText (const SessionReport& report);
} // namespace zendravel::sim
