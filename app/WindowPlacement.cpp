// The window manager is asked through X11 itself, which JUCE exposes only on request.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "WindowPlacement.h"

#include <algorithm>
#include <optional>

namespace
{
constexpr int pollIntervalMs = 5;
// A window manager answers within milliseconds; under heavy load it may take far longer,
// and a window that never shows would be worse than one a frame off.
constexpr int longestWaitMs = 2000;
constexpr int checkAfterShowingMs = 1000;

using juce::XWindowSystemUtilities::Atoms;
using juce::XWindowSystemUtilities::GetXProperty;

::Window nativeWindow (juce::ComponentPeer& peer)
{
    return (::Window) (juce::pointer_sized_uint) peer.getNativeHandle();
}

bool windowManagerSupports (::Display* display, ::Window root, Atom feature)
{
    const auto supported = Atoms::getIfExists (display, "_NET_SUPPORTED");

    if (supported == None || feature == None)
        return false;

    GetXProperty property (display, root, supported, 0, 4096, false, XA_ATOM);

    if (! property.success || property.actualFormat != 32)
        return false;

    const auto* atoms = reinterpret_cast<const unsigned long*> (property.data);
    return std::find (atoms, atoms + property.numItems, (unsigned long) feature) != atoms + property.numItems;
}

// True when the window manager has been asked and will set _NET_FRAME_EXTENTS on the window.
bool requestFrameExtents (juce::ComponentPeer& peer)
{
    auto* display = juce::XWindowSystem::getInstance()->getDisplay();

    if (display == nullptr)
        return false;

    juce::XWindowSystemUtilities::ScopedXLock lock;
    auto* x11 = juce::X11Symbols::getInstance();
    const auto root = x11->xRootWindow (display, x11->xDefaultScreen (display));
    const auto request = Atoms::getIfExists (display, "_NET_REQUEST_FRAME_EXTENTS");

    if (! windowManagerSupports (display, root, request))
        return false;

    XClientMessageEvent message {};
    message.type = ClientMessage;
    message.display = display;
    message.window = nativeWindow (peer);
    message.message_type = request;
    message.format = 32;

    x11->xSendEvent (display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, (XEvent*) &message);
    x11->xFlush (display);
    return true;
}

// Read from the window itself: the property's change notice may wait in Xlib's queue
// unseen by JUCE until the next event arrives.
bool frameExtentsPublished (juce::ComponentPeer& peer)
{
    auto* display = juce::XWindowSystem::getInstance()->getDisplay();
    const auto extents = Atoms::getIfExists (display, "_NET_FRAME_EXTENTS");

    if (extents == None)
        return false;

    juce::XWindowSystemUtilities::ScopedXLock lock;
    GetXProperty property (display, nativeWindow (peer), extents, 0, 4, false, XA_CARDINAL);
    return property.success && property.actualFormat == 32 && property.numItems == 4;
}

// Where the window's content really is, once the window manager has framed and shown it;
// nothing before that, while the frame may still be on its way to its place.
std::optional<juce::Point<int>> framedContentPosition (juce::ComponentPeer& peer)
{
    auto* display = juce::XWindowSystem::getInstance()->getDisplay();
    auto* x11 = juce::X11Symbols::getInstance();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    ::Window root = 0, parent = 0, child = 0;
    ::Window* children = nullptr;
    unsigned int childCount = 0;

    XWindowAttributes attributes {};

    if (! x11->xGetWindowAttributes (display, nativeWindow (peer), &attributes) || attributes.map_state != IsViewable)
        return {};

    if (! x11->xQueryTree (display, nativeWindow (peer), &root, &parent, &children, &childCount))
        return {};

    if (children != nullptr)
        x11->xFree (children);

    int x = 0, y = 0;

    if (parent == root || ! x11->xTranslateCoordinates (display, nativeWindow (peer), root, 0, 0, &x, &y, &child))
        return {};

    return juce::Desktop::getInstance().getDisplays().physicalToLogical (juce::Point<int> { x, y });
}
} // namespace

WindowPlacement::WindowPlacement (juce::Component& windowToPlace)
    : window (windowToPlace)
{
}

WindowPlacement::~WindowPlacement()
{
    stopTimer();
}

void WindowPlacement::placeAndShow (std::function<void()> placeWindow)
{
    place = std::move (placeWindow);
    auto* peer = window.getPeer();
    jassert (peer != nullptr && ! window.isVisible());

    if (peer == nullptr || ! requestFrameExtents (*peer))
    {
        finish();
        return;
    }

    pollsLeft = longestWaitMs / pollIntervalMs;
    startTimer (pollIntervalMs);
}

void WindowPlacement::timerCallback()
{
    auto* peer = window.getPeer();

    if (peer == nullptr)
    {
        stopTimer();
        return;
    }

    if (! window.isVisible())
    {
        if (frameExtentsPublished (*peer) || --pollsLeft <= 0)
            finish();

        return;
    }

    checkPlace (*peer);
}

void WindowPlacement::finish()
{
    place();
    target = window.getBounds();
    moveToTarget();
    window.setVisible (true);

    pollsLeft = checkAfterShowingMs / pollIntervalMs;
    correctionsLeft = 3;
}

// Now and then, with the machine busy, the window manager frames the window away from
// where it was asked to; the window is then put back at once, right after it appears.
// Once seen in its place it is left alone, free for the user to move; a place the window
// manager keeps refusing is given up after a few tries rather than fought over.
void WindowPlacement::checkPlace (juce::ComponentPeer& peer)
{
    const auto position = framedContentPosition (peer);

    if (position && *position == target.getPosition())
        stopTimer();
    else if (position && correctionsLeft-- > 0)
        moveToTarget();

    if (--pollsLeft <= 0)
        stopTimer();
}

// JUCE reads the frame's size from the window after each move and allows for it from the
// next move on, and it moves the window only when its bounds change. Two moves make sure
// that the last one allows for the frame, whether or not JUCE knew its size before.
void WindowPlacement::moveToTarget()
{
    window.setBounds (target.translated (1, 0));
    window.setBounds (target);
}
