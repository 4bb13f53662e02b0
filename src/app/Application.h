#pragma once

#include <QApplication>

namespace corvane {

// The process from its entry to its end. Construct it first thing in main.
class Application {
public:
    // Opens whichever of standard input, output and error is closed on /dev/null before
    // anything else opens a file, so that nothing opened later takes its place, then makes the
    // application object. Without a display, ends the process there with status 1 and one line
    // on standard error.
    Application(int& argc, char** argv);

    // Launches and runs the event loop, then ends the process at once with its status.
    [[noreturn]] void run();

private:
    struct Startup {
        Startup();
    };

    Startup startup;
    QApplication application;
};

} // namespace corvane
