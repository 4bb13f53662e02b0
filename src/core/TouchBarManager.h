#pragma once

#include "core/Backend.h"
#include "core/Health.h"
#include "core/Restart.h"
#include "core/TouchBarError.h"
#include "platform/Services.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <optional>

class QSettings;

namespace corvane {

// The model of the application: whether this machine has a Touch Bar, whether a restart of its
// services runs, how many restarts succeeded and when the last one did, and the last error.
// Its state lives on the GUI thread. Every tool runs on a thread of the manager's own, one task
// at a time, so the window never waits for one. Every write of the state first emits
// aboutToChange(), also when the value stays the same, then the property's own signal when the
// value changed.
class TouchBarManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool restarting READ isRestarting NOTIFY restartingChanged)
    Q_PROPERTY(bool touchBar READ hasTouchBar NOTIFY hasTouchBarChanged)
    Q_PROPERTY(qint64 restartCount READ restartCount NOTIFY restartCountChanged)
    Q_PROPERTY(QDateTime lastRestartTime READ lastRestartTime NOTIFY lastRestartTimeChanged)

public:
    // Loads the saved statistics from `settings`, or keeps none when it is null, and decides
    // from the hardware model alone whether there is a Touch Bar, whose services `backend`
    // describes. `services` and `settings` must outlive the manager; it waits for the task it
    // runs, which works on them.
    TouchBarManager(const Services& services, const Backend& backend, QSettings* settings,
                    QObject* parent = nullptr);

    bool isRestarting() const { return restarting; }
    bool hasTouchBar() const { return touchBar; }
    // Successful restarts, saved across launches. It stops at its largest value rather than
    // wrapping round.
    qint64 restartCount() const { return restarts; }
    // Fixes after a wake that failed in a row since a fix last worked, saved across launches.
    int failedWakeFixes() const { return failedWakes; }
    // Invalid until a restart succeeded.
    QDateTime lastRestartTime() const { return lastRestart; }
    const std::optional<TouchBarError>& lastError() const { return recordedError; }
    // The Touch Bar's health as last read, by checkHealth() or a restart; Unknown before.
    const Health& health() const { return touchBarHealth; }
    // The health before the last restart: as that restart read it first, else as last read
    // before it; Unknown when it was not read.
    const Health& healthBeforeRestart() const { return healthBefore; }
    // The rungs of the ladder the last restart ran, as RestartReport names them.
    const QStringList& restartSteps() const { return steps; }
    // "macos" or "tiny-dfr"; empty where there is none: macOS's services away from macOS,
    // once the detection found none of them running.
    QString backendKey() const {
        return backend.onlyWhileRunning && !touchBar ? QString() : backend.key;
    }

    // Looks again whether there is a Touch Bar, from the model and the Touch Bar's processes;
    // detectionFinished() follows once hasTouchBar() holds the answer.
    void performFullTouchBarDetection();
    // Starts a restart of the Touch Bar's services, or refuses it and answers false while one
    // runs. restartFinished() tells its outcome once the state has taken it in.
    bool restartTouchBar();
    // Makes, with an administrator's rights, the fix the last restart offered; false when it
    // offered none, or a restart runs.
    bool restartAsAdministrator();
    // Starts the fix a wake calls for with nobody at hand, asking no one for a password: the
    // person's own restart, then the administrator's fix it offers only where polkit allows it
    // without asking. Answers false while a restart runs, or once failedWakesLimit fixes after
    // wakes failed in a row, until a fix works, whichever copy of Corvane made it.
    bool fixAfterWake();
    // Reads the Touch Bar's health again; healthChanged() follows once health() holds it.
    void checkHealth();
    // Reads everything a report tells and writes it, with `history`, personal details removed;
    // reportRead() follows with it.
    void readReport(const QList<QJsonObject>& history);

signals:
    void aboutToChange();
    void restartingChanged(bool restarting);
    void hasTouchBarChanged(bool hasTouchBar);
    void restartCountChanged(qint64 restartCount);
    void lastRestartTimeChanged(const QDateTime& lastRestartTime);
    void lastErrorChanged();
    void detectionFinished();
    // Emitted whenever a reading of the health has been stored, also when it is the same.
    void healthChanged();
    // No error when the Touch Bar's services were restarted.
    void restartFinished(const std::optional<corvane::TouchBarError>& error);
    void reportRead(const QString& report);

private:
    template <typename T, typename Changed> void write(T& property, T value, Changed changed);
    void setLastError(const std::optional<TouchBarError>& error);
    void setHealth(const Health& health);
    template <typename Task, typename Then> void runInBackground(Task task, Then then);
    template <typename Task> void startRestart(Task task);
    void finishRestart(const RestartReport& report);
    void loadData();
    void saveData();

    const Services services;
    const Backend& backend;
    QSettings* const settings;
    bool restarting = false;
    QDateTime lastRestart;
    qint64 restarts = 0;
    int failedWakes = 0;
    // The restart running was started by fixAfterWake().
    bool afterWake = false;
    bool touchBar = false;
    std::optional<TouchBarError> recordedError;
    Health touchBarHealth;
    Health healthBefore;
    QStringList steps;
    std::optional<administrator::Fix> offeredFix;
    // Last, so that it is the first to go: it waits for a running task before anything that
    // task works on is gone.
    QThreadPool worker;
};

} // namespace corvane
