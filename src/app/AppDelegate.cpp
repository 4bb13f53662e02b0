#include "app/AppDelegate.h"

#include "app/Application.h"
#include "app/SingleInstance.h"
#include "core/AfterWake.h"
#include "core/TouchBarManager.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "platform/Notifier.h"
#include "platform/TrayHost.h"
#include "platform/WakeWatcher.h"
#include "ui/Alerts.h"
#include "ui/ContentView.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QSessionManager>
#include <QSettings>
#include <QVBoxLayout>

namespace corvane {
namespace {

const QString residentKey = QStringLiteral("Resident");
const QString fixAfterWakeKey = QStringLiteral("FixAfterWake");
// A desktop starts its tray alongside the applications of the session: long enough for that,
// short enough that a person waiting on a window sees it.
constexpr std::chrono::seconds trayLimit{5};

QString noTrayText() {
    QString text = QStringLiteral("This desktop shows no tray icons, so Corvane cannot stay in "
                                  "the tray: closing the window quits it.");
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME")))
        text += QStringLiteral(" On GNOME, turn on the AppIndicator extension "
                               "(gnome-shell-extension-appindicator), then start Corvane again.");
    return text;
}

} // namespace

AppDelegate::AppDelegate(const Services& services, QSettings* settings, InstanceLock& lock,
                         InstanceLock& restartLock, bool resident)
    : services(services)
    , settings(settings)
    , lock(lock)
    , restartLock(restartLock)
    , startHidden(resident) {}

void AppDelegate::applicationDidFinishLaunching() {
    if (!checkSingleInstance(lock, services.output)) {
        QCoreApplication::quit();
        return;
    }
    // Logging in starts Corvane through its autostart entry when asked to; a session manager
    // that restored it as well would start a second copy.
    connect(qApp, &QGuiApplication::saveStateRequest, this, [](QSessionManager& session) {
        session.setRestartHint(QSessionManager::RestartNever);
    });
    buildWindow();
    QCheckBox* residentBox = view->residentCheckBox();
    const bool resident = startHidden || (settings && settings->value(residentKey).toBool());
    residentBox->setChecked(resident);
    if (!startHidden)
        showWindow();
    if (resident)
        setResident(true);
    connect(residentBox, &QCheckBox::toggled, this, [this](bool on) {
        if (settings)
            settings->setValue(residentKey, on);
        setResident(on);
    });
}

void AppDelegate::buildWindow() {
    mainWindow = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    mainWindow->setWindowTitle(QStringLiteral("Corvane"));
    // The view keeps its own fixed size; the window takes exactly that and cannot be resized.
    auto* layout = new QVBoxLayout(mainWindow.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    TouchBarManager* manager = makeTouchBarManager(services, settings).release();
    afterWake = new AfterWake(*manager, services.clock, new WakeWatcher(services.output));
    connect(afterWake, &AfterWake::healthRead, this,
            [this](const Health& health, std::optional<std::chrono::seconds> slept) {
                recordWake(services, afterWake->healthBeforeSleep(), health, slept);
            });
    view = new ContentView(manager, afterWake, &restartLock);
    layout->addWidget(view);
}

void AppDelegate::showWindow() {
    // Laid out on its first showing: measuring text loads the fonts, which a copy that stays in
    // the tray never needs.
    if (!mainWindow->isVisible() && !std::exchange(placed, true)) {
        mainWindow->adjustSize();
        const QRect screen = mainWindow->screen()->availableGeometry();
        QRect frame({}, mainWindow->size());
        frame.moveCenter(screen.center());
        mainWindow->move(frame.topLeft());
    }
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

void AppDelegate::setResident(bool on) {
    if (!on) {
        delete tray;
        view->setFixingAfterWake(false);
        QApplication::setQuitOnLastWindowClosed(true);
        return;
    }
    if (tray || waitingForTray)
        return;
    waitingForTray = true;
    auto* host = new TrayHost(trayLimit, this);
    connect(host, &TrayHost::answered, this, &AppDelegate::trayAnswered);
    connect(host, &TrayHost::answered, host, &QObject::deleteLater);
    host->find();
}

void AppDelegate::trayAnswered(bool found) {
    waitingForTray = false;
    if (!view->residentCheckBox()->isChecked())
        return;
    if (!found && !QSystemTrayIcon::isSystemTrayAvailable()) {
        // Nobody could reach a copy that runs on without a window or an icon.
        services.output.writeLine(QStringLiteral("⚠️ ") + noTrayText());
        if (!mainWindow->isVisible())
            showWindow();
        ui::openAlert(mainWindow.get(), QStringLiteral("No Tray"), noTrayText(), tr("OK"));
        return;
    }
    // Made only now: a window that is never hidden has nothing to notify.
    if (!notifier) {
        notifier = new Notifier(this);
        view->setNotifier(notifier);
    }
    tray = new ui::TrayIcon(view->touchBarManager(), this);
    connect(tray, &ui::TrayIcon::fixRequested, view, &ContentView::restartTouchBar);
    connect(tray, &ui::TrayIcon::openRequested, this, &AppDelegate::showWindow);
    connect(tray, &ui::TrayIcon::startAtLoginToggled, this, &AppDelegate::setStartAtLogin);
    connect(tray, &ui::TrayIcon::fixAfterWakeToggled, this, &AppDelegate::setFixAfterWake);
    showStartAtLogin();
    showFixAfterWake(settings && settings->value(fixAfterWakeKey).toBool());
    QApplication::setQuitOnLastWindowClosed(false);
    tray->show();
    services.output.writeLine(QStringLiteral("🔔 Corvane stays in the tray"));
    view->start();
    view->touchBarManager().checkHealth();
}

void AppDelegate::setStartAtLogin(bool on) {
    const QString problem = login::setEnabled(on);
    showStartAtLogin();
    if (problem.isEmpty())
        return;
    services.output.writeLine(QStringLiteral("⚠️ Start at login: ") + problem);
    showWindow();
    ui::openAlert(mainWindow.get(), QStringLiteral("Start at Login"), problem, tr("OK"));
}

void AppDelegate::setFixAfterWake(bool on) {
    if (settings)
        settings->setValue(fixAfterWakeKey, on);
    showFixAfterWake(on);
}

void AppDelegate::showFixAfterWake(bool on) {
    tray->showFixAfterWake(on);
    view->setFixingAfterWake(on);
}

void AppDelegate::showStartAtLogin() {
    const login::State state = login::state();
    tray->showStartAtLogin(
        state == login::State::On || state == login::State::RequiresApproval,
        state == login::State::RequiresApproval ? QStringLiteral("requires approval")
        : state == login::State::Foreign        ? QStringLiteral("set up by someone else")
                                                : QString());
}

} // namespace corvane
