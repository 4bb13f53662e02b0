#include "AppDelegate.h"

#include "ContentView.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace corvane {

AppDelegate::AppDelegate(RunningApplications& applications, Alerts& alerts,
                         const PlatformServices& platform, UrlOpener& urlOpener)
    : applications(applications)
    , alerts(alerts)
    , platform(platform)
    , urlOpener(urlOpener) {}

void AppDelegate::applicationDidFinishLaunching() {
    if (!checkSingleInstance(applications, alerts, platform.log)) {
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
    layout->addWidget(new ContentView(platform, urlOpener));
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
