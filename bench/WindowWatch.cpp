// Starts a program and measures, from the moment it is started, how long it takes until it
// maps a top-level window with a given title on the X display, then its resident memory a
// moment later. The program's own output is discarded. Prints "<milliseconds> <kilobytes>" and
// terminates the program.
//
// Usage: window-watch TITLE SETTLE_MILLISECONDS PROGRAM [ARGUMENT...]

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool hasTitle(Display* display, Window window, const char* title) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr)
        return false;
    const bool same = std::strcmp(name, title) == 0;
    XFree(name);
    return same;
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TITLE SETTLE_MILLISECONDS PROGRAM [ARGUMENT...]\n",
                     argv[0]);
        return 2;
    }
    const char* title = argv[1];
    const int settle = std::atoi(argv[2]);

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    // Without a window manager every top-level window is a child of the root window.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        // Only our own line goes to standard output.
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        execv(argv[3], argv + 3);
        _exit(127);
    }

    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    const auto deadline = started + std::chrono::seconds(30);
    long long milliseconds = -1;
    while (milliseconds < 0 && std::chrono::steady_clock::now() < deadline) {
        if (XPending(display) == 0) {
            poll(&connection, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify || !hasTitle(display, event.xmap.window, title))
            continue;
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, event.xmap.window, &attributes) != 0 &&
            attributes.map_state == IsViewable)
            milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started)
                               .count();
    }

    long kilobytes = -1;
    if (milliseconds >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settle));
        kilobytes = residentKilobytes(child);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (milliseconds < 0) {
        std::fprintf(stderr, "no window titled %s appeared\n", title);
        return 1;
    }
    std::printf("%lld %ld\n", milliseconds, kilobytes);
    return 0;
}
