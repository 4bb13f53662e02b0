#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;

namespace corvane {

class TouchBarManager;

namespace ui {

// Corvane's icon in the tray or the menu bar: a strip whose light is green while the Touch Bar
// works, red while it does not and grey while that could not be told, the same in words in
// its tooltip and its menu. The menu offers Fix Touch Bar, the status, Open Corvane, Start at
// Login, Fix After Wake and Quit; the fix, the window, starting at login and fixing after wakes
// are the owner's to give.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    // Follows `manager`, which must outlive the icon. Create it only once a tray is known to be
    // there: Qt asks for one the first time an icon is made and keeps the answer.
    explicit TrayIcon(const TouchBarManager& manager, QObject* parent = nullptr);

    void show() { icon.show(); }
    // Checks Start at Login or not, `note` beside it when not empty ("requires approval").
    void showStartAtLogin(bool on, const QString& note);
    void showFixAfterWake(bool on);

signals:
    void fixRequested();
    void openRequested();
    void startAtLoginToggled(bool on);
    void fixAfterWakeToggled(bool on);

private:
    void showHealth();

    const TouchBarManager& manager;
    QMenu menu;
    QAction* fix;
    QAction* status;
    QAction* startAtLogin;
    QAction* fixAfterWake;
    QSystemTrayIcon icon;
};

} // namespace ui
} // namespace corvane
