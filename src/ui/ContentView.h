#pragma once

#include "core/TouchBarError.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QMessageBox;

namespace corvane {

class TouchBarManager;

namespace ui {
class FixButton;
} // namespace ui

// The whole content of the main window: the emblem, the product name, whether this machine
// has a Touch Bar, the button that restarts it, Help and Quit, and the one alert through
// which every outcome reaches the user. It draws itself from the manager it owns; it writes
// nothing to standard output.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    // Shows `manager` and takes it over. Construct it on the GUI thread.
    explicit ContentView(TouchBarManager* manager, QWidget* parent = nullptr);

    TouchBarManager& touchBarManager() const { return *manager; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void restartTouchBar();
    void finishRestart(const std::optional<TouchBarError>& error);
    void checkForErrors();
    void showHelp();
    void presentAlert(bool offerAdministrator);
    void alertClosed(QMessageBox* box, bool success, bool administrator);

    TouchBarManager* manager;
    bool appeared = false;

    // What the next alert shows. Whether one is showing is the box's own visibility.
    QString alertMessage;
    QString alertTitle = QStringLiteral("Touch Bar Restart");
    bool showingSuccess = false;
    QPointer<QMessageBox> alert;

    QLabel* statusLine;
    ui::FixButton* fixButton;
};

} // namespace corvane
