#pragma once

#include "PlatformServices.h"

#include <QApplication>

namespace corvane {

// The process from its entry to its end. Construct it first thing in main, then build the
// platform services (some need the application object to exist) and hand them to run().
class Application {
public:
    Application(int& argc, char** argv);

    // Registers this copy, launches, runs the event loop and ends the process with its status.
    [[noreturn]] void run(const PlatformServices& platform);

private:
    QApplication application;
};

} // namespace corvane
