#include "ReportFiles.h"

#include <cstdio>

namespace zendravel::sim
{
ReportFiles::ReportFiles (std::string dir)
    : directory (std::move (dir)),
      events (std::fopen ((directory + "/events.log").c_str(), "a"))
{
    if (events == nullptr)
        complain ("cannot open " + directory + "/events.log");
}

ReportFiles::~ReportFiles()
{
    if (events != nullptr)
        std::fclose (events);
}

void ReportFiles::openFailed (int openNumber)
{
    logEvent ("open " + std::to_string (openNumber) + " absent");
}

void ReportFiles::sessionOpened (int openNumber, int session)
{
    logEvent ("open " + std::to_string (openNumber) + " ok session=" + std::to_string (session));
}

void ReportFiles::frameReceived (int session, int command)
{
    logEvent ("frame session=" + std::to_string (session) + " cmd=" + std::to_string (command));
}

void ReportFiles::badFrameReceived (int session)
{
    logEvent ("bad_frame session=" + std::to_string (session));
}

void ReportFiles::sessionClosed (const SessionReport& report)
{
    const auto name = "session-" + std::to_string (report.session);
    writeFile (name + ".flash", flashAsText (report.flash));
    writeFile (name + ".txt", countersAsText (report));
    logEvent ("close session=" + std::to_string (report.session));
}

void ReportFiles::libraryReleased()
{
    logEvent ("exit");
}

void ReportFiles::logEvent (const std::string& line)
{
    if (events == nullptr)
        return;

    std::fputs ((line + "\n").c_str(), events);
    std::fflush (events);
}

void ReportFiles::writeFile (const std::string& name, const std::string& contents)
{
    const auto path = directory + "/" + name;
    const auto temporary = path + ".part";
    auto* file = std::fopen (temporary.c_str(), "w");

    if (file == nullptr)
        return complain ("cannot write " + temporary);

    const bool written = std::fwrite (contents.data(), 1, contents.size(), file) == contents.size();

    if (std::fclose (file) != 0 || ! written || std::rename (temporary.c_str(), path.c_str()) != 0)
        complain ("cannot write " + path);
}

void ReportFiles::complain (const std::string& what)
{
    if (complained)
        return;

    complained = true;
    std::fprintf (stderr, "simulated unit: %s\n", what.c_str());
}

std::string flashAsText (const FlashMemory::Runs& flash)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;

    for (const auto& [address, bytes] : flash)
    {
        char start[9];
        std::snprintf (start, sizeof (start), "%08x", address);
        text += start;
        text += ' ';

        for (auto byte : bytes)
        {
            text += digits[byte >> 4];
            text += digits[byte & 0x0f];
        }

        text += '\n';
    }

    return text;
}

std::string countersAsText (const SessionReport& report)
{
    return "frames=" + std::to_string (report.frames) + "\n"
           + "bad_frames=" + std::to_string (report.badFrames) + "\n"
           + "records=" + std::to_string (report.records) + "\n"
           + "errors=" + std::to_string (report.errors) + "\n"
           + "erased=" + std::to_string (report.erased ? 1 : 0) + "\n"
           + "eof=" + std::to_string (report.endOfFile ? 1 : 0) + "\n";
}
} // namespace zendravel::sim
