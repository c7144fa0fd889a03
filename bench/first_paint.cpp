// Start-up as the user sees it: launches a program and prints the milliseconds from the
// launch until its window (a window manager's client with the given title) is viewable, and
// until that window first shows something other than what lay under it, i.e. until its first
// paint is on the screen. A mapped window is not yet a started one: a window that maps first
// and loads its fonts afterwards would look quicker than it is.
// usage: bench_first_paint TITLE PROGRAM [ARGUMENTS...]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The managed client whose title is `title`, 0 if none yet.
Window findClient(Display* d, Window root, const char* title) {
    static const Atom clients = XInternAtom(d, "_NET_CLIENT_LIST", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, root, clients, 0, 1024, False, XA_WINDOW, &type, &format, &count,
                           &after, &data) != Success ||
        !data)
        return 0;
    Window found = 0;
    for (unsigned long i = 0; i < count && !found; ++i) {
        const Window w = reinterpret_cast<Window*>(data)[i];
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            if (std::strcmp(name, title) == 0)
                found = w;
            XFree(name);
        }
    }
    XFree(data);
    return found;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TITLE PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 1;
    XSetErrorHandler(ignoreErrors); // the window may go while it is looked at
    const Window root = DefaultRootWindow(d);
    XWindowAttributes rootAttributes{};
    XGetWindowAttributes(d, root, &rootAttributes);
    XImage* before =
        XGetImage(d, root, 0, 0, rootAttributes.width, rootAttributes.height, AllPlanes, ZPixmap);

    const double t0 = nowMs();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[2], argv + 2);
        _exit(127);
    }

    Window w = 0;
    double mapped = -1, painted = -1;
    int x = 0, y = 0, width = 0, height = 0;
    const timespec pause{0, 250000};
    while (painted < 0 && nowMs() - t0 < 10000) {
        if (!w) {
            w = findClient(d, root, argv[1]);
            if (w) {
                XWindowAttributes a{};
                XGetWindowAttributes(d, w, &a);
                if (a.map_state != IsViewable) {
                    w = 0;
                } else {
                    mapped = nowMs() - t0;
                    Window ignored = 0;
                    XTranslateCoordinates(d, w, root, 0, 0, &x, &y, &ignored);
                    width = a.width;
                    height = a.height;
                }
            }
        }
        if (w) {
            // Points on a grid over the window: painted once most of them differ from what
            // lay there before (its first flush covers the whole window).
            XImage* now = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
            if (now) {
                int differ = 0, points = 0;
                for (int gy = 1; gy < 8; ++gy)
                    for (int gx = 1; gx < 8; ++gx) {
                        const int px = width * gx / 8, py = height * gy / 8;
                        ++points;
                        if (XGetPixel(now, px, py) != XGetPixel(before, x + px, y + py))
                            ++differ;
                    }
                XDestroyImage(now);
                if (differ * 4 >= points * 3)
                    painted = nowMs() - t0;
            }
        }
        nanosleep(&pause, nullptr);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XDestroyImage(before);
    XCloseDisplay(d);
    if (painted < 0)
        return 1;
    std::printf("%.1f %.1f\n", mapped, painted);
    return 0;
}
