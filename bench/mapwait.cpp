///////////////////////////////////////////////////////////////////////////////
// mapwait: waits, on X events rather than by polling, until a window with a
// given title (and/or size) is viewable, then prints the CLOCK_MONOTONIC time
// of that moment in nanoseconds and the window id.
//
//   mapwait [--name TITLE] [--size WxH] [--timeout SECONDS]
//
// Prints "ready" once it listens, so that a caller can start the program to
// watch only then; on success "<ns> 0x<id>", on timeout nothing more and
// exit status 1. The clock is the one Python's time.monotonic() reads, so the
// caller can take its start time itself.
///////////////////////////////////////////////////////////////////////////////

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

std::string g_name;
int g_width = -1;
int g_height = -1;

Display* g_dpy = nullptr;
Atom g_netWmName;
Atom g_utf8;

long long NowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Errors are expected: windows vanish between an event and our look at them.
int IgnoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

std::string WindowName(Window w)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(g_dpy, w, g_netWmName, 0, 1024, False, g_utf8, &type, &format,
                           &count, &after, &data) == Success &&
        data)
    {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return name;
    }
    char* legacy = nullptr;
    if (XFetchName(g_dpy, w, &legacy) && legacy)
    {
        name = legacy;
        XFree(legacy);
    }
    return name;
}

void Watch(Window w)
{
    XSelectInput(g_dpy, w, SubstructureNotifyMask | StructureNotifyMask | PropertyChangeMask);
}

bool Matches(Window w)
{
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(g_dpy, w, &attrs) || attrs.map_state != IsViewable)
        return false;
    if (g_width >= 0)
    {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(g_dpy, w, DefaultRootWindow(g_dpy), 0, 0, &x, &y, &child);
        if (x != 0 || y != 0 || attrs.width != g_width || attrs.height != g_height)
            return false;
    }
    if (!g_name.empty() && WindowName(w) != g_name)
        return false;
    // A size alone matches only a client window, one with a WM_STATE or a
    // name, never the window manager's frame.
    if (g_name.empty())
    {
        XTextProperty text;
        if (!XGetWMName(g_dpy, w, &text))
            return false;
        XFree(text.value);
    }
    return true;
}

// Depth-first over the tree below w (the window manager's frames hold the
// client windows a level or two down); watches what it passes.
Window Find(Window w, int depth)
{
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(g_dpy, w, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
    {
        if (Matches(children[i]))
            found = children[i];
        else if (depth < 3)
            found = Find(children[i], depth + 1);
    }
    if (children)
        XFree(children);
    return found;
}

} // anonymous namespace

int main(int argc, char** argv)
{
    double timeout = 30.0;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg == "--name" && i + 1 < argc)
            g_name = argv[++i];
        else if (arg == "--size" && i + 1 < argc)
        {
            if (std::sscanf(argv[++i], "%dx%d", &g_width, &g_height) != 2)
                return 2;
        }
        else if (arg == "--timeout" && i + 1 < argc)
            timeout = std::atof(argv[++i]);
        else
        {
            std::fprintf(stderr, "usage: mapwait [--name TITLE] [--size WxH] [--timeout S]\n");
            return 2;
        }
    }

    g_dpy = XOpenDisplay(nullptr);
    if (!g_dpy)
    {
        std::fprintf(stderr, "mapwait: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreErrors);
    g_netWmName = XInternAtom(g_dpy, "_NET_WM_NAME", False);
    g_utf8 = XInternAtom(g_dpy, "UTF8_STRING", False);
    const Window rootWin = DefaultRootWindow(g_dpy);
    Watch(rootWin);
    XSync(g_dpy, False);
    std::puts("ready");
    std::fflush(stdout);

    const long long deadline = NowNs() + static_cast<long long>(timeout * 1e9);
    const int fd = ConnectionNumber(g_dpy);
    const Atom wmName = XA_WM_NAME;
    bool look = true; // the window may be up already
    for (;;)
    {
        // Drain what arrived, watching every new window; look again only
        // when something was mapped or renamed (the tree walk costs round
        // trips, which would slow down the program being watched).
        while (XPending(g_dpy))
        {
            XEvent ev;
            XNextEvent(g_dpy, &ev);
            if (ev.type == CreateNotify)
                Watch(ev.xcreatewindow.window);
            else if (ev.type == ReparentNotify)
                Watch(ev.xreparent.window);
            else if (ev.type == MapNotify)
            {
                Watch(ev.xmap.window);
                look = true;
            }
            else if (ev.type == ConfigureNotify && g_width >= 0)
                look = true;
            else if (ev.type == PropertyNotify &&
                     (ev.xproperty.atom == g_netWmName || ev.xproperty.atom == wmName))
                look = true;
        }
        const long long now = NowNs();
        Window w = look ? Find(rootWin, 0) : 0;
        look = false;
        if (w)
        {
            std::printf("%lld 0x%lx\n", now, w);
            std::fflush(stdout);
            return 0;
        }
        if (now >= deadline)
            return 1;
        if (XPending(g_dpy))
            continue;
        pollfd p = {fd, POLLIN, 0};
        long long leftMs = (deadline - now) / 1000000 + 1;
        poll(&p, 1, static_cast<int>(leftMs > 1000 ? 1000 : leftMs));
    }
}
