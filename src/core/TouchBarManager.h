#pragma once

#include "ChangeNotifier.h"
#include "PlatformServices.h"
#include "ProcessControl.h"
#include "TouchBarError.h"
#include "TouchBarResult.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace corvane {

// The model of the application: whether this machine has a Touch Bar, whether a restart of
// its services is running, how many restarts succeeded and when the last one did, and the
// last error. The published state is read and written on the main thread only; every write
// first tells objectWillChange(), also when the value stays the same.
class TouchBarManager : public std::enable_shared_from_this<TouchBarManager> {
public:
    // Loads the saved statistics and decides from the hardware model alone whether there is
    // a Touch Bar; no process is probed. `observer`, when given, is subscribed before any of
    // that, so it hears every change from the first. Create it on the main thread, through
    // std::make_shared: a running restart keeps its manager alive until it has ended.
    explicit TouchBarManager(const PlatformServices& platform,
                             ChangeNotifier::Observer observer = {});
    TouchBarManager(const TouchBarManager&) = delete;
    TouchBarManager& operator=(const TouchBarManager&) = delete;

    bool isRestarting() const { return restarting.value(); }
    const std::optional<QDateTime>& lastRestartTime() const { return lastRestart.value(); }
    // Successful restarts, saved across launches. It stops at its largest value rather than
    // wrapping round.
    qint64 restartCount() const { return restarts.value(); }
    bool hasTouchBar() const { return touchBar.value(); }
    const std::optional<TouchBarError>& lastError() const { return recordedError.value(); }

    // Told before every write of the published state.
    ChangeNotifier& objectWillChange() { return willChange; }

    // Decides hasTouchBar from the model and from the Touch Bar's processes: either one is
    // enough. Runs on the main thread, which it blocks while one or two probes run.
    void performFullTouchBarDetection();

    // Restarts the Touch Bar services: terminates the six Touch Bar processes, waits for the
    // system to relaunch them, verifies TouchBarServer came back, then clears their
    // preferences, restarts the Dock and counts and saves the restart. Runs in the
    // background and hands its outcome to `completion` on the main thread. Nothing stops a
    // second, overlapping call: callers refuse one while isRestarting() is true.
    void restartTouchBar(std::function<void(TouchBarResult)> completion);

    // Whether a Touch Bar process named exactly `name` runs; any other name is refused.
    bool checkIfProcessRunning(const QString& name) const;

    // TouchBarServer's state in a word: "No Touch Bar", "Running", "Not Running", or
    // "Unknown" when it cannot be probed.
    QString getTouchBarStatus() const;

private:
    void loadData();
    void saveData();
    void initialTouchBarDetection();
    void checkTouchBarAvailability();
    QString getModelIdentifier() const;
    QString touchBarStatus(bool touchBarPresent) const;

    TouchBarResult runRestart();
    void logProcessStatus(const QString& heading, const QStringList& names) const;
    void log(const QString& line) const;

    ChangeNotifier willChange;
    Published<bool> restarting{willChange, false};
    Published<std::optional<QDateTime>> lastRestart{willChange, std::nullopt};
    Published<qint64> restarts{willChange, 0};
    Published<bool> touchBar{willChange, false};
    Published<std::optional<TouchBarError>> recordedError{willChange, std::nullopt};

    PlatformServices platform;
    ProcessControl processes;
};

} // namespace corvane
