#include "TouchBarManager.h"

#include "Clock.h"
#include "DefaultsStore.h"
#include "Executor.h"
#include "HardwareModel.h"
#include "LogFormat.h"
#include "LogSink.h"
#include "PreferenceReset.h"
#include "ToolRunner.h"
#include "Version.h"

#include <chrono>
#include <limits>

namespace corvane {
namespace {

const QString restartCountKey = QStringLiteral("TouchBarRestartCount");
const QString lastRestartKey = QStringLiteral("LastTouchBarRestart");

const QString touchBarServer = QStringLiteral("TouchBarServer");
const QString controlStrip = QStringLiteral("ControlStrip");

// How long the system gets to relaunch the terminated services.
constexpr std::chrono::nanoseconds relaunchWait = std::chrono::seconds(2);

} // namespace

TouchBarManager::TouchBarManager(const PlatformServices& platform,
                                 ChangeNotifier::Observer observer)
    : platform(platform)
    , processes(platform.tools, platform.log, platform.clock) {
    if (observer)
        willChange.subscribe(std::move(observer));
    loadData();
    initialTouchBarDetection();
    willChange.notify();
}

void TouchBarManager::loadData() {
    restarts.set(platform.defaults.integer(restartCountKey));
    const QVariant stored = platform.defaults.object(lastRestartKey);
    if (stored.typeId() == QMetaType::QDateTime)
        lastRestart.set(stored.toDateTime());
}

void TouchBarManager::saveData() {
    platform.defaults.setInteger(restartCountKey, restartCount());
    if (const auto& time = lastRestartTime())
        platform.defaults.setDate(lastRestartKey, *time);
}

QString TouchBarManager::getModelIdentifier() const {
    return corvane::getModelIdentifier(platform.modelQuery, platform.log);
}

void TouchBarManager::initialTouchBarDetection() {
    const QString model = trimModel(getModelIdentifier());
    touchBar.set(isTouchBarModel(model));
    log(QStringLiteral("🔍 Initial Touch Bar Detection (Model Only):"));
    log(QStringLiteral("   Model: ") + model);
    log(QStringLiteral("   Has Touch Bar: ") + log::truth(hasTouchBar()));
}

void TouchBarManager::checkTouchBarAvailability() {
    const QString model = trimModel(getModelIdentifier());
    const bool inList = isTouchBarModel(model);
    const bool processesFound = processes.checkIfProcessRunning(touchBarServer) ||
                                processes.checkIfProcessRunning(controlStrip);
    touchBar.set(inList || processesFound);
    log(QStringLiteral("🔍 Full Touch Bar Detection:"));
    log(QStringLiteral("   Model: ") + model);
    log(QStringLiteral("   Model in list: ") + log::truth(inList));
    log(QStringLiteral("   TouchBar processes found: ") + log::truth(processesFound));
    log(QStringLiteral("   Final detection: ") + log::truth(hasTouchBar()));
}

void TouchBarManager::performFullTouchBarDetection() {
    platform.executor.runOnMain([this] { checkTouchBarAvailability(); });
}

bool TouchBarManager::checkIfProcessRunning(const QString& name) const {
    return processes.checkIfProcessRunning(name);
}

QString TouchBarManager::getTouchBarStatus() const {
    return touchBarStatus(hasTouchBar());
}

QString TouchBarManager::touchBarStatus(bool touchBarPresent) const {
    if (!touchBarPresent)
        return QStringLiteral("No Touch Bar");
    const ToolOutcome probe =
        platform.tools.run(QStringLiteral("/usr/bin/pgrep"), {QStringLiteral("-x"), touchBarServer},
                           ToolRunner::StandardError::Inherited);
    if (!probe.launched())
        return QStringLiteral("Unknown");
    return probe.exitStatus == 0 ? QStringLiteral("Running") : QStringLiteral("Not Running");
}

void TouchBarManager::restartTouchBar(std::function<void(TouchBarResult)> completion) {
    platform.executor.runInBackground(
        [self = shared_from_this(), completion = std::move(completion)]() mutable {
            const TouchBarResult result = self->runRestart();
            Executor& executor = self->platform.executor;
            executor.postToMain([self = std::move(self), completion = std::move(completion),
                                 result] { completion(result); });
        });
}

// Runs on the background executor. Published state is only touched inside the awaited
// main-thread hops; whatever the background needs of it afterwards is copied there.
TouchBarResult TouchBarManager::runRestart() {
    Executor& executor = platform.executor;

    bool touchBarPresent = false;
    executor.runOnMain([&] {
        checkTouchBarAvailability();
        touchBarPresent = hasTouchBar();
    });

    log(QStringLiteral("🚀 Starting Touch Bar restart process..."));
    log(QStringLiteral("   Device has Touch Bar: ") + log::truth(touchBarPresent));
    log(QStringLiteral("   Model: ") + getModelIdentifier());
    log(QStringLiteral("\n") + log::rule());
    log(QStringLiteral("🚀 TOUCH BAR RESTART INITIATED"));
    log(QStringLiteral("   Timestamp: ") + log::timestamp(platform.clock.now()));
    log(QStringLiteral("   Device model: ") + getModelIdentifier());
    log(QStringLiteral("   Has Touch Bar: ") + log::truth(touchBarPresent));
    log(QStringLiteral("   App: Corvane ") + applicationVersion);
    log(log::rule());

    if (!touchBarPresent) {
        log(QStringLiteral("❌ No Touch Bar detected on this device"));
        executor.runOnMain([this] {
            recordedError.set(TouchBarError::noTouchBar());
            restarting.set(false);
        });
        return TouchBarResult::failure(TouchBarError::noTouchBar());
    }

    // One copy of the allow-list, so the listings and the terminations share one order.
    const QStringList targets = processes.allowedTouchBarProcesses();
    logProcessStatus(QStringLiteral("\n📊 PRE-RESTART PROCESS STATUS:"), targets);

    executor.runOnMain([this] {
        restarting.set(true);
        recordedError.set(std::nullopt);
    });

    log(QStringLiteral("\n🎯 KILLING PROCESSES:"));
    log(QStringLiteral("   Targets: ") + targets.join(QStringLiteral(", ")));
    bool allTerminated = true;
    for (const QString& target : targets) {
        const TouchBarResult termination = processes.secureKillProcess(target);
        if (termination.isSuccess())
            continue;
        log(QStringLiteral("❌ Failed to kill ") + target + QStringLiteral(": ") +
            termination.error().localizedDescription());
        executor.runOnMain([&] { recordedError.set(termination.error()); });
        allTerminated = false;
    }

    log(QStringLiteral("\n⏱️ Waiting 2 seconds for processes to restart..."));
    platform.sleeper.sleep(relaunchWait);

    logProcessStatus(QStringLiteral("\n📊 POST-RESTART PROCESS STATUS:"), targets);

    log(QStringLiteral("\n🔍 Verifying critical Touch Bar processes:"));
    bool serverVerified = true;
    for (const QString& name : {touchBarServer, controlStrip}) {
        const bool running = processes.checkIfProcessRunning(name);
        log(QStringLiteral("   • ") + name + QStringLiteral(": ") +
            (running ? QStringLiteral("✅ VERIFIED RUNNING")
                     : QStringLiteral("⚠️ NOT DETECTED")));
        if (!running && name == touchBarServer)
            serverVerified = false;
    }

    if (allTerminated && serverVerified) {
        log(QStringLiteral("🔧 Resetting Touch Bar preferences..."));
        resetTouchBarPreferences(platform.tools, platform.log);

        qint64 count = 0;
        executor.runOnMain([&] {
            lastRestart.set(platform.clock.now());
            const qint64 previous = restartCount();
            restarts.set(previous == std::numeric_limits<qint64>::max() ? previous : previous + 1);
            saveData();
            restarting.set(false);
            count = restartCount();
            touchBarPresent = hasTouchBar();
        });

        log(QStringLiteral("\n") + log::rule());
        log(QStringLiteral("✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!"));
        log(QStringLiteral("   Restart Count: #") + QString::number(count));
        log(QStringLiteral("   Timestamp: ") + log::timestamp(platform.clock.now()));
        log(QStringLiteral("   Duration: ~2.5 seconds"));
        log(QStringLiteral("   Final Status: ") + touchBarStatus(touchBarPresent));
        log(log::rule() + QStringLiteral("\n"));
        return TouchBarResult::success();
    }

    std::optional<TouchBarError> recorded;
    executor.runOnMain([&] {
        restarting.set(false);
        recorded = lastError();
    });

    if (!allTerminated) {
        log(QStringLiteral("❌ Touch Bar restart failed - process termination issues"));
        return TouchBarResult::failure(recorded ? *recorded
                                                : TouchBarError::unknown(QStringLiteral(
                                                      "Failed to restart Touch Bar processes")));
    }
    log(QStringLiteral("⚠️ Touch Bar restart completed but critical processes not detected"));
    log(QStringLiteral("   This may indicate a deeper system issue"));
    return TouchBarResult::failure(TouchBarError::serviceRestartFailed());
}

void TouchBarManager::logProcessStatus(const QString& heading, const QStringList& names) const {
    log(heading);
    for (const QString& name : names) {
        const bool running = processes.checkIfProcessRunning(name);
        log(QStringLiteral("   • ") + name + QStringLiteral(": ") +
            (running ? QStringLiteral("✅ Running") : QStringLiteral("❌ Not Running")));
    }
}

void TouchBarManager::log(const QString& line) const {
    platform.log.writeLine(line);
}

} // namespace corvane
