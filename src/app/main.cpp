#include "AppDelegate.h"
#include "DesktopUrlOpener.h"
#include "InstanceRegistry.h"
#include "MessageBoxAlerts.h"
#include "SystemPlatform.h"
#include "Version.h"

#include <QApplication>
#include <QMetaObject>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    // Log lines go to standard output with write(2); a reader that went away must not end us.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication application(argc, argv);
    QApplication::setApplicationName(corvane::applicationName);
    QApplication::setApplicationVersion(corvane::applicationVersion);
    QApplication::setOrganizationDomain(corvane::organizationDomain);

    // Registered before the guard looks, so two copies started together still see each other.
    corvane::InstanceRegistry registry(corvane::bundleIdentifier);
    corvane::MessageBoxAlerts alerts;
    corvane::DesktopUrlOpener urlOpener;
    corvane::SystemPlatform platform;
    corvane::AppDelegate delegate(registry, alerts, platform.services(), urlOpener);
    QApplication::setQuitOnLastWindowClosed(
        delegate.applicationShouldTerminateAfterLastWindowClosed());
    QMetaObject::invokeMethod(&delegate, &corvane::AppDelegate::applicationDidFinishLaunching,
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
