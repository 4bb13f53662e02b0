#pragma once

#include "core/TouchBarError.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QMessageBox;

namespace corvane {

class AfterWake;
struct Health;
class InstanceLock;
class Notifier;
class TouchBarManager;

namespace ui {
class FixButton;
class SymbolButton;
} // namespace ui

// The whole content of the main window: the emblem, the product name, whether this machine
// has a Touch Bar, the button that restarts it, Help, Copy Report (the manager's report, put on
// the clipboard) and Quit, the check box that keeps
// Corvane in the tray, and the one alert through
// which every outcome reaches the user. It draws itself from the manager it owns; it writes
// nothing to standard output. When the health read after a wake finds the Touch Bar not
// working, it says so and offers the fix; nothing runs until that is pressed, unless it was
// told to fix after wakes by itself, which it then does and tells how it went. An alert that
// comes while the window is hidden goes to the notifier, when there is one, in one line;
// without one, or when the notification cannot be shown, it shows the window.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    // Shows `manager` and takes it over, and `afterWake` when given, reading through `manager`,
    // which it starts listening once the window is shown. Every restart holds `restartLock`,
    // when given, while it runs, and none starts while another process holds it. Construct it
    // on the GUI thread.
    explicit ContentView(TouchBarManager* manager, AfterWake* afterWake = nullptr,
                         InstanceLock* restartLock = nullptr, QWidget* parent = nullptr);

    TouchBarManager& touchBarManager() const { return *manager; }
    // Checked while Corvane stays in the tray once the window closes; its owner acts on it.
    QCheckBox* residentCheckBox() const { return residentBox; }

    // Detects the Touch Bar and starts listening for the wake, as the first frame shown does,
    // for a view that stays hidden; only the first call counts.
    void start();
    // Restarts the Touch Bar as its button does.
    void restartTouchBar();
    // Speaks through `notifier` while the window is hidden; it must outlive the view.
    void setNotifier(Notifier* notifier);
    // Whether a Touch Bar found not working after a wake is fixed at once, asking nobody, rather
    // than offered the fix. Off at first.
    void setFixingAfterWake(bool on) { fixingAfterWake = on; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    bool mayRestart();
    void finishRestart(const std::optional<TouchBarError>& error);
    void showHealth();
    void showWake(const Health& health);
    void checkForErrors();
    void showHelp();
    void copyReport();
    void reportRead(const QString& report);
    void presentAlert(bool offerAdministrator);
    void alertClosed(QMessageBox* box, bool success, bool administrator, bool fix);

    TouchBarManager* manager;
    AfterWake* afterWake;
    InstanceLock* restartLock;
    bool appeared = false;
    bool placed = false;
    bool fixingAfterWake = false;
    // The restart running is the one after a wake, which no one pressed for.
    bool fixRunsAfterWake = false;
    // The status line tells the health rather than the Touch Bar's presence.
    bool healthShown = false;

    // What the next alert shows. Whether one is showing is the box's own visibility.
    QString alertMessage;
    QString alertTitle = QStringLiteral("Touch Bar Restart");
    bool showingSuccess = false;
    bool offeringFix = false;
    QPointer<QMessageBox> alert;
    Notifier* notifier = nullptr;
    bool notifiedFix = false;

    QLabel* statusLine;
    ui::FixButton* fixButton;
    ui::SymbolButton* copyButton;
    // How long "Copied" shows in the Copy Report button's place.
    QTimer copied;
    QCheckBox* residentBox;
};

} // namespace corvane
