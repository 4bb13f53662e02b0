#pragma once

#include "core/TouchBarError.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

class QLabel;
class QMessageBox;

namespace corvane {

class TouchBarManager;
class WakeWatcher;

namespace ui {
class FixButton;
} // namespace ui

// The whole content of the main window: the emblem, the product name, whether this machine
// has a Touch Bar, the button that restarts it, Help and Quit, and the one alert through
// which every outcome reaches the user. It draws itself from the manager it owns; it writes
// nothing to standard output. A few seconds after the machine wakes it reads the Touch Bar's
// health, and when the Touch Bar is not working it says so and offers the fix; nothing runs
// until that is pressed.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    // Shows `manager` and takes it over, and `wake` when given, which it starts listening once
    // the window is shown. Construct it on the GUI thread.
    explicit ContentView(TouchBarManager* manager, WakeWatcher* wake = nullptr,
                         QWidget* parent = nullptr);

    TouchBarManager& touchBarManager() const { return *manager; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void restartTouchBar();
    void finishRestart(const std::optional<TouchBarError>& error);
    void showHealth();
    void checkForErrors();
    void showHelp();
    void presentAlert(bool offerAdministrator);
    void alertClosed(QMessageBox* box, bool success, bool administrator, bool fix);

    TouchBarManager* manager;
    WakeWatcher* wake;
    bool appeared = false;
    // Wakes close together make one reading of the health, once they have settled.
    QTimer afterWake;
    bool readingAfterWake = false;
    // The status line tells the health rather than the Touch Bar's presence.
    bool healthShown = false;

    // What the next alert shows. Whether one is showing is the box's own visibility.
    QString alertMessage;
    QString alertTitle = QStringLiteral("Touch Bar Restart");
    bool showingSuccess = false;
    bool offeringFix = false;
    QPointer<QMessageBox> alert;

    QLabel* statusLine;
    ui::FixButton* fixButton;
};

} // namespace corvane
