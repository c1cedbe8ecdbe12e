// Starts the real program again and again on the X display in DISPLAY and measures, for each
// start, the time from launching the process to its main window being mapped and to its first
// paint (the window shows the screen's picture and texts rather than a plain fill), and its
// resident memory once it has settled. Prints figures beside their targets; it never fails on
// a time.
//   zendravel_startup_benchmark <path of Zendravel> [starts, default 5]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr const char* kMainTitle = "Quindervale Orvalith firmware updater";
constexpr int kWidth = 600, kHeight = 400;
constexpr double kStartupTargetMs = 500.0;
// A window that is merely cleared holds one or two colours; the screen's picture holds thousands.
constexpr size_t kPaintedColours = 64;

// Windows come and go while the program builds its main window; a request about one that has
// just gone is not an error here.
int ignoreXErrors (Display*, XErrorEvent*)
{
    return 0;
}

bool isMainWindow (Display* display, Window window)
{
    // The title is UTF-8 text, which XFetchName does not return; the raw property is enough here.
    XTextProperty name {};

    if (XGetWMName (display, window, &name) == 0 || name.value == nullptr)
        return false;

    const auto* text = reinterpret_cast<const char*> (name.value);
    const bool matches = std::strncmp (text, kMainTitle, std::strlen (kMainTitle)) == 0;
    XFree (name.value);
    return matches;
}

std::optional<Window> findMainWindow (Display* display, Window parent)
{
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;

    if (XQueryTree (display, parent, &root, &parentOfParent, &children, &count) == 0)
        return std::nullopt;

    std::optional<Window> found;

    for (unsigned int i = 0; i < count && ! found; ++i)
        found = isMainWindow (display, children[i]) ? std::optional<Window> (children[i]) : findMainWindow (display, children[i]);

    if (children != nullptr)
        XFree (children);

    return found;
}

bool isMappedInShape (Display* display, Window window)
{
    XWindowAttributes attributes {};
    return XGetWindowAttributes (display, window, &attributes) != 0 && attributes.map_state == IsViewable
           && attributes.width == kWidth && attributes.height == kHeight;
}

bool isPainted (Display* display, Window window)
{
    XImage* image = XGetImage (display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);

    if (image == nullptr)
        return false;

    std::set<unsigned long> colours;

    for (int y = 0; y < kHeight && colours.size() < kPaintedColours; y += 4)
        for (int x = 0; x < kWidth; x += 4)
            colours.insert (XGetPixel (image, x, y));

    XDestroyImage (image);
    return colours.size() >= kPaintedColours;
}

long statusKiB (pid_t pid, const char* field)
{
    std::ifstream status ("/proc/" + std::to_string (pid) + "/status");
    std::string line;

    while (std::getline (status, line))
        if (line.rfind (field, 0) == 0)
            return std::atol (line.c_str() + std::strlen (field));

    return -1;
}

struct Start
{
    double mappedMs = -1.0;
    double paintedMs = -1.0;
    long residentKiB = -1;
    long peakResidentKiB = -1;
};

double msSince (Clock::time_point start)
{
    return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
}

void stop (pid_t pid)
{
    kill (pid, SIGTERM);

    for (int i = 0; i < 500; ++i)
    {
        if (waitpid (pid, nullptr, WNOHANG) == pid)
            return;

        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }

    kill (pid, SIGKILL);
    waitpid (pid, nullptr, 0);
}

Start measureOneStart (Display* display, const char* program)
{
    Start start;
    const auto launched = Clock::now();
    const pid_t pid = fork();

    if (pid == 0)
    {
        execl (program, program, (char*) nullptr);
        _exit (127);
    }

    std::optional<Window> window;

    // Polled every millisecond for up to 10 s.
    while (msSince (launched) < 10000.0 && start.paintedMs < 0)
    {
        if (! window || ! isMappedInShape (display, *window))
            window = findMainWindow (display, DefaultRootWindow (display));

        if (window && start.mappedMs < 0 && isMappedInShape (display, *window))
            start.mappedMs = msSince (launched);

        if (start.mappedMs >= 0 && isPainted (display, *window))
            start.paintedMs = msSince (launched);

        if (start.paintedMs < 0)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    // Resident memory once the welcome screen has been shown for a second.
    std::this_thread::sleep_for (std::chrono::seconds (1));
    start.residentKiB = statusKiB (pid, "VmRSS:");
    start.peakResidentKiB = statusKiB (pid, "VmHWM:");
    stop (pid);
    return start;
}

double median (std::vector<double> values)
{
    std::sort (values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main (int argc, char** argv)
{
    std::setvbuf (stdout, nullptr, _IOLBF, 0);

    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s <path of Zendravel> [starts]\n", argv[0]);
        return 2;
    }

    const int starts = argc > 2 ? std::max (1, std::atoi (argv[2])) : 5;
    Display* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "no X display (set DISPLAY, e.g. run under xvfb-run)\n");
        return 2;
    }

    XSetErrorHandler (ignoreXErrors);
    std::vector<double> mapped, painted, resident;

    for (int i = 1; i <= starts; ++i)
    {
        const auto start = measureOneStart (display, argv[1]);

        if (start.paintedMs < 0)
        {
            std::printf ("start %d: no painted main window within 10 s\n", i);
            return 1;
        }

        std::printf ("start %d: mapped after %.1f ms, painted after %.1f ms; resident %ld KiB (peak %ld KiB)\n",
                     i, start.mappedMs, start.paintedMs, start.residentKiB, start.peakResidentKiB);
        mapped.push_back (start.mappedMs);
        painted.push_back (start.paintedMs);
        resident.push_back ((double) start.residentKiB);
    }

    const auto firstPaint = median (painted);
    std::printf ("start-up to the mapped main window (median of %d): %.1f ms\n", starts, median (mapped));
    std::printf ("start-up to the first painted main window (median of %d): %.1f ms   (target: under %.0f ms) %s\n",
                 starts, firstPaint, kStartupTargetMs, firstPaint < kStartupTargetMs ? "met" : "MISSED");
    std::printf ("resident memory on the welcome screen (median of %d): %.1f MiB\n", starts, median (resident) / 1024.0);
    XCloseDisplay (display);
    return 0;
}
