#include "Application.h"

#include "AppDelegate.h"
#include "DesktopUrlOpener.h"
#include "InstanceRegistry.h"
#include "MessageBoxAlerts.h"
#include "Version.h"

#include <QMetaObject>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace corvane {

Application::Application(int& argc, char** argv)
    : application(argc, argv) {
    // Log lines go to standard output with write(2); a reader that went away must not end us.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication::setApplicationName(applicationName);
    QApplication::setApplicationVersion(applicationVersion);
    QApplication::setOrganizationDomain(organizationDomain);
}

void Application::run(const PlatformServices& platform) {
    // Registered before the guard looks, so two copies started together still see each other.
    InstanceRegistry registry(bundleIdentifier);
    MessageBoxAlerts alerts;
    DesktopUrlOpener urlOpener;
    AppDelegate delegate(registry, alerts, platform, urlOpener);
    QApplication::setQuitOnLastWindowClosed(
        delegate.applicationShouldTerminateAfterLastWindowClosed());
    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    const int status = QApplication::exec();

    // A restart may still run on a background thread, blocked in a tool or in a hop to the main
    // thread that will never be served now that the event loop has stopped. Returning would
    // destroy the application object and the services under it while that thread can still
    // wake and use them, so the process ends here, at once. Nothing is lost: the restart count
    // is saved the moment it changes, log lines are written unbuffered, and the operating
    // system drops the lock that registers this instance.
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace corvane
