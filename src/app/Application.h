#pragma once

#include "core/Health.h"

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <optional>

class QSettings;

namespace corvane {

class TouchBarManager;
struct Services;

// The process from its entry to its end. Construct it first thing in main.
class Application {
public:
    // What the process is: the window, the icon in the tray (`corvane tray`), or the command
    // line, which needs no display.
    enum class Face { Window, Tray, CommandLine };

    // The face the arguments ask for. Any argument but a lone `tray` is for the command line:
    // a mistyped one never opens a window.
    static Face faceFor(int argc, char** argv);

    // Opens whichever of standard input, output and error is closed on /dev/null before
    // anything else opens a file, so that nothing opened later takes its place, then makes the
    // application object: for the window and the tray a QApplication, for the command line a
    // QCoreApplication, which loads no platform plugin. Without a display the window ends the
    // process there with status 1 and one line on standard error.
    Application(int& argc, char** argv, Face face);

    // Launches and runs the window, or runs the command its arguments name, then ends the
    // process at once with its status. Ending it by a signal also ends the tools it runs. A
    // process the system refuses a thread it needs ends with status 71 (ExitStatus's
    // SystemRefused) and says so on standard error, the command line also when Qt's thread is
    // refused, whose work would never be done.
    [[noreturn]] void run();

private:
    [[noreturn]] void runFace();
    // Passes on what Qt said while the application object was made, now that it is known
    // whether Qt found a display.
    void tellHeldBack();
    // The command line's one window: an alert titled `title` saying `text`, in a QApplication
    // made in place of the QCoreApplication, until it is dismissed. Without a display the
    // process ends there with `status`, saying so.
    void showAlert(const QString& title, const QString& text, int status);

    struct Startup {
        Startup();
    };

    Startup startup;
    const Face face;
    int& argc;
    char** argv;
    std::unique_ptr<QCoreApplication> application;
};

// The manager of the Touch Bar this machine has, for the window and the command line alike.
// Each restart it finishes is added to the user's History; one that cannot be is logged.
std::unique_ptr<TouchBarManager> makeTouchBarManager(const Services& services, QSettings* settings);

// Adds a reading after a wake to the user's History: the health `before` the machine slept,
// the one read `after`, and how long it `slept` where that is known. One that cannot be added
// is logged.
void recordWake(const Services& services, HealthState before, const Health& after,
                std::optional<std::chrono::seconds> slept);

} // namespace corvane
