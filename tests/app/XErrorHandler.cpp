#include <X11/Xlib.h>

namespace
{
// JUCE installs its X error handler, which ignores errors, only inside a standalone
// application; a test executable isn't one, so Xlib's default handler would end the whole
// run at the first harmless error. A bare X server (xvfb-run, no window manager) gives
// several for every window, because the window-manager atoms JUCE looks up don't exist.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

[[maybe_unused]] const auto previousXErrorHandler = XSetErrorHandler (ignoreXError);
} // namespace
