#include "app/AppDelegate.h"

#include "app/Application.h"
#include "app/SingleInstance.h"
#include "core/TouchBarManager.h"
#include "platform/WakeWatcher.h"
#include "ui/ContentView.h"

#include <QCoreApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace corvane {

AppDelegate::AppDelegate(const Services& services, QSettings* settings, InstanceLock& lock)
    : services(services)
    , settings(settings)
    , lock(lock) {}

void AppDelegate::applicationDidFinishLaunching() {
    if (!checkSingleInstance(lock, services.output)) {
        QCoreApplication::quit();
        return;
    }

    mainWindow = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    mainWindow->setWindowTitle(QStringLiteral("Corvane"));
    // The view keeps its own fixed size; the window takes exactly that and cannot be resized.
    auto* layout = new QVBoxLayout(mainWindow.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(new ContentView(makeTouchBarManager(services, settings).release(),
                                      new WakeWatcher(services.output)));
    mainWindow->adjustSize();

    const QRect screen = mainWindow->screen()->availableGeometry();
    QRect frame({}, mainWindow->size());
    frame.moveCenter(screen.center());
    mainWindow->move(frame.topLeft());

    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

} // namespace corvane
