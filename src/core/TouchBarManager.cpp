#include "core/TouchBarManager.h"

#include "core/AfterWake.h"
#include "core/Detection.h"
#include "core/Report.h"

#include <QFutureWatcher>
#include <QSettings>
#include <QtConcurrent/QtConcurrentRun>

namespace corvane {
namespace {

const QString restartCountKey = QStringLiteral("TouchBarRestartCount");
const QString lastRestartKey = QStringLiteral("LastTouchBarRestart");
const QString failedWakesKey = QStringLiteral("FailedFixesAfterWake");

} // namespace

TouchBarManager::TouchBarManager(const Services& services, const Backend& backend,
                                 QSettings* settings, QObject* parent)
    : QObject(parent)
    , services(services)
    , backend(backend)
    , settings(settings) {
    // One task at a time: a detection and a restart never run tools side by side, and their
    // lines never interleave.
    worker.setMaxThreadCount(1);
    // The thread, once started, is kept: near the process limit a new one may not be had, and a
    // restart would then wait for good.
    worker.setExpiryTimeout(-1);
    loadData();
    write(touchBar, initialTouchBarDetection(services, backend),
          &TouchBarManager::hasTouchBarChanged);
}

template <typename T, typename Changed>
void TouchBarManager::write(T& property, T value, Changed changed) {
    emit aboutToChange();
    if (property == value)
        return;
    property = std::move(value);
    emit(this->*changed)(property);
}

void TouchBarManager::setLastError(const std::optional<TouchBarError>& error) {
    emit aboutToChange();
    recordedError = error;
    emit lastErrorChanged();
}

void TouchBarManager::setHealth(const Health& health) {
    emit aboutToChange();
    touchBarHealth = health;
    emit healthChanged();
}

// The result reaches `then` on the GUI thread, and only while the manager lives.
template <typename Task, typename Then>
void TouchBarManager::runInBackground(Task task, Then then) {
    using Result = std::invoke_result_t<Task>;
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, then = std::move(then)] {
        then(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(&worker, std::move(task)));
}

void TouchBarManager::performFullTouchBarDetection() {
    runInBackground(
        [services = services, &backend = backend] {
            const ToolSession tools(services);
            return checkTouchBarAvailability(Processes(tools, backend), services, backend);
        },
        [this](bool present) {
            write(touchBar, present, &TouchBarManager::hasTouchBarChanged);
            emit detectionFinished();
        });
}

bool TouchBarManager::restartTouchBar() {
    if (restarting)
        return false;
    startRestart([services = services, &backend = backend, count = restarts] {
        return restartTouchBarServices(services, backend, count);
    });
    return true;
}

bool TouchBarManager::restartAsAdministrator() {
    if (restarting || !offeredFix)
        return false;
    startRestart([services = services, &backend = backend, fix = *offeredFix, count = restarts] {
        return corvane::restartAsAdministrator(services, backend, fix, count);
    });
    return true;
}

bool TouchBarManager::fixAfterWake() {
    if (restarting)
        return false;
    // A fix another copy made since may have cleared the failed wakes.
    if (settings) {
        settings->sync();
        loadData();
    }
    if (failedWakes >= failedWakesLimit)
        return false;
    afterWake = true;
    startRestart([services = services, &backend = backend, count = restarts] {
        return fixUnasked(services, backend, count, [&services](administrator::Fix fix) {
            return administrator::grantedUnasked(services.prompt, fix);
        });
    });
    return true;
}

void TouchBarManager::checkHealth() {
    runInBackground([services = services,
                     &backend = backend] { return checkTouchBarHealth(services, backend); },
                    [this](const Health& health) { setHealth(health); });
}

void TouchBarManager::readReport(const QList<QJsonObject>& history) {
    runInBackground(
        [services = services, &backend = backend, history] {
            return writeReport(readReportInput(services, backend, history), personalNames());
        },
        [this](const QString& report) { emit reportRead(report); });
}

// Restarting shows at once, so that a second press finds the button disabled and a second
// request is refused: one press is one restart.
template <typename Task> void TouchBarManager::startRestart(Task task) {
    write(restarting, true, &TouchBarManager::restartingChanged);
    runInBackground(std::move(task),
                    [this](const RestartReport& report) { finishRestart(report); });
}

void TouchBarManager::finishRestart(const RestartReport& report) {
    if (report.touchBarPresent)
        write(touchBar, *report.touchBarPresent, &TouchBarManager::hasTouchBarChanged);
    const bool wasAfterWake = std::exchange(afterWake, false);
    if (!report.error || wasAfterWake) {
        // Another copy may have counted restarts since this one loaded: count on from the saved
        // count, which the restart lock its caller holds keeps still until it is saved.
        if (settings) {
            settings->sync();
            loadData();
        }
        if (!report.error) {
            write(lastRestart, services.clock.now(), &TouchBarManager::lastRestartTimeChanged);
            write(restarts, nextRestartCount(restarts), &TouchBarManager::restartCountChanged);
        }
        failedWakes = failedWakesAfter(failedWakes, wasAfterWake, !report.error);
        saveData();
    }
    setLastError(report.lastError);
    offeredFix = report.administratorFix;
    healthBefore = report.healthBefore.value_or(touchBarHealth);
    steps = report.steps;
    if (report.health)
        setHealth(*report.health);
    write(restarting, false, &TouchBarManager::restartingChanged);
    emit restartFinished(report.error);
}

void TouchBarManager::loadData() {
    if (!settings)
        return;
    bool isNumber = false;
    const qint64 count = settings->value(restartCountKey).toLongLong(&isNumber);
    // A count below zero was never written by us: it reads as absent, as a corrupt one does.
    write(restarts, isNumber && count >= 0 ? count : 0, &TouchBarManager::restartCountChanged);
    failedWakes = failedWakesAfter(settings->value(failedWakesKey).toInt(), false, false);
    const QVariant stored = settings->value(lastRestartKey);
    if (stored.typeId() == QMetaType::QDateTime)
        write(lastRestart, stored.toDateTime(), &TouchBarManager::lastRestartTimeChanged);
}

// Written through at once: quitting ends the process without a word to anyone, and a
// counted restart must already be on disk then.
void TouchBarManager::saveData() {
    if (!settings) {
        services.output.writeLine(QStringLiteral("⚠️ The restart count was not saved: there is "
                                                 "no home folder to keep it in"));
        return;
    }
    settings->setValue(restartCountKey, restarts);
    if (failedWakes > 0)
        settings->setValue(failedWakesKey, failedWakes);
    else
        settings->remove(failedWakesKey);
    if (lastRestart.isValid())
        settings->setValue(lastRestartKey, lastRestart);
    settings->sync();
    if (settings->status() != QSettings::NoError)
        services.output.writeLine(QStringLiteral("⚠️ Could not save the restart count to ") +
                                  settings->fileName());
}

} // namespace corvane
