#pragma once

#include "PlatformServices.h"

#include <QObject>
#include <QWidget>

#include <memory>

namespace corvane {

class Alerts;
class LogSink;
class RunningApplications;
class UrlOpener;

// Runs the launch: the single-instance guard first, then the one main window.
class AppDelegate final : public QObject {
public:
    // Every service must outlive the delegate.
    AppDelegate(RunningApplications& applications, Alerts& alerts, const PlatformServices& platform,
                UrlOpener& urlOpener);

    // Call from the running event loop. Quits when another copy runs; otherwise opens the main
    // window, centred, in front and active.
    void applicationDidFinishLaunching();
    // Closing the main window ends the application.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // The main window once launching opened it, otherwise null.
    QWidget* window() const { return mainWindow.get(); }

private:
    RunningApplications& applications;
    Alerts& alerts;
    PlatformServices platform;
    UrlOpener& urlOpener;
    std::unique_ptr<QWidget> mainWindow;
};

} // namespace corvane
