#pragma once

#include "platform/Services.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

class QSettings;

namespace corvane {

class AfterWake;
class ContentView;
class InstanceLock;
class Notifier;

namespace ui {
class TrayIcon;
} // namespace ui

// Runs the launch: the single-instance guard first, then the one main window, and in resident
// mode an icon in the tray or the menu bar that keeps Corvane running once the window closes.
// Resident mode is a setting, turned on from the window or for one run by `corvane tray`; so is
// fixing the Touch Bar by itself after a wake, from the tray's menu, which acts only while
// Corvane is in the tray.
class AppDelegate final : public QObject {
public:
    // Everything given must outlive the delegate. `resident` starts this run in the tray, with
    // the window hidden.
    AppDelegate(const Services& services, QSettings* settings, InstanceLock& lock,
                InstanceLock& restartLock, bool resident);

    // Call from the running event loop. Quits when another copy runs; otherwise opens the main
    // window, centred, in front and active, listening for the machine's wake, or in resident
    // mode waits for the tray and leaves the window hidden until asked.
    void applicationDidFinishLaunching();

    // The main window once launching opened it, otherwise null.
    QWidget* window() const { return mainWindow.get(); }

private:
    void buildWindow();
    void showWindow();
    void setResident(bool on);
    void trayAnswered(bool found);
    void setStartAtLogin(bool on);
    void setFixAfterWake(bool on);
    void showFixAfterWake(bool on);
    void showStartAtLogin();

    const Services services;
    QSettings* const settings;
    InstanceLock& lock;
    InstanceLock& restartLock;
    bool startHidden;
    std::unique_ptr<QWidget> mainWindow;
    ContentView* view = nullptr;
    AfterWake* afterWake = nullptr;
    bool waitingForTray = false;
    bool placed = false;
    QPointer<ui::TrayIcon> tray;
    Notifier* notifier = nullptr;
};

} // namespace corvane
