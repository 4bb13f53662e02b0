#pragma once

#include "ChangeNotifier.h"
#include "PlatformServices.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QMessageBox;

namespace corvane {

class TouchBarManager;
class TouchBarResult;
class UrlOpener;

namespace ui {
class FixButton;
class SymbolButton;
} // namespace ui

// The whole content of the main window: the emblem, the product name, whether this machine
// has a Touch Bar, the button that restarts it, Help and Quit, and the one alert through
// which every outcome reaches the user. It draws itself from the manager it owns, which it
// re-reads after every change the manager announces; it writes nothing to standard output.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    // Builds the view and its TouchBarManager on `platform`; the services and `urlOpener`
    // must outlive it. Construct it on the main thread.
    ContentView(const PlatformServices& platform, UrlOpener& urlOpener, QWidget* parent = nullptr);
    ~ContentView() override;

    TouchBarManager& touchBarManager() const { return *manager; }

    // Ends the application, without asking, also while a restart runs.
    void quitApplication();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addQuitShortcut(QWidget* owner);
    void refresh();
    void scheduleRefresh();
    void restartTouchBar();
    void finishRestart(const TouchBarResult& result);
    void checkForErrors();
    void showHelp();
    void presentAlert();
    void alertClosed(QMessageBox* box, bool success);

    std::shared_ptr<TouchBarManager> manager;
    ChangeNotifier::Subscription subscription;
    bool refreshScheduled = false;
    bool appeared = false;

    // What the next alert shows. Whether one is showing is the box's own visibility.
    QString alertMessage;
    QString alertTitle = QStringLiteral("Touch Bar Restart");
    bool showingSuccess = false;
    QPointer<QMessageBox> alert;

    UrlOpener& urlOpener;
    QLabel* statusLine;
    ui::FixButton* fixButton;
};

} // namespace corvane
