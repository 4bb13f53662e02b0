#pragma once

#include "platform/Services.h"

#include <QObject>
#include <QWidget>

#include <memory>

class QSettings;

namespace corvane {

class InstanceLock;

// Runs the launch: the single-instance guard first, then the one main window.
class AppDelegate final : public QObject {
public:
    // Everything given must outlive the delegate.
    AppDelegate(const Services& services, QSettings* settings, InstanceLock& lock);

    // Call from the running event loop. Quits when another copy runs; otherwise opens the main
    // window, centred, in front and active, listening for the machine's wake.
    void applicationDidFinishLaunching();
    // Closing the main window ends the application.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // The main window once launching opened it, otherwise null.
    QWidget* window() const { return mainWindow.get(); }

private:
    const Services services;
    QSettings* const settings;
    InstanceLock& lock;
    std::unique_ptr<QWidget> mainWindow;
};

} // namespace corvane
