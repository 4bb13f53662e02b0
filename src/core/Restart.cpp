#include "core/Restart.h"

#include "core/Detection.h"
#include "core/LogFormat.h"
#include "core/Version.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace corvane {
namespace {

const QString touchBarServer = QStringLiteral("TouchBarServer");
const QString controlStrip = QStringLiteral("ControlStrip");

// How long the system gets to relaunch the terminated services.
constexpr std::chrono::nanoseconds relaunchWait = std::chrono::seconds(2);

using Listing = QHash<QString, RunningProcesses>;

// What a restart of `kind` lists and restarts, in the one order of the whole run.
QStringList processesOf(TouchBarServices kind) {
    return kind == TouchBarServices::AppleProcesses ? ProcessControl::touchBarProcesses()
                                                    : QStringList{ProcessControl::touchBarDaemon};
}

// The processes that must be back after the wait; only the first decides.
QStringList criticalProcessesOf(TouchBarServices kind) {
    return kind == TouchBarServices::AppleProcesses ? QStringList{touchBarServer, controlStrip}
                                                    : QStringList{ProcessControl::touchBarDaemon};
}

Listing listProcesses(const ProcessControl& processes, Log& log, const QString& heading,
                      const QStringList& names) {
    log.writeLine(heading);
    Listing listing;
    for (const QString& name : names) {
        const RunningProcesses found = processes.findProcesses(name).value_or(RunningProcesses());
        listing.insert(name, found);
        log.writeLine(
            QStringLiteral("   • ") + name + QStringLiteral(": ") +
            (found.isEmpty() ? QStringLiteral("❌ Not Running") : QStringLiteral("✅ Running")));
    }
    return listing;
}

// `name`'s state in a word: "Running", "Not Running", or "Unknown" when it cannot be probed. A
// restart gets here only with a Touch Bar, so "No Touch Bar" does not arise.
QString touchBarStatus(const ProcessControl& processes, const QString& name) {
    const std::optional<RunningProcesses> found = processes.findProcesses(name);
    if (!found)
        return QStringLiteral("Unknown");
    return found->isEmpty() ? QStringLiteral("Not Running") : QStringLiteral("Running");
}

// Deletes the Touch Bar services' three preference domains and restarts the Dock, so the
// relaunched services start clean. Best effort: logs what worked, never fails. Linux has no
// Dock to refresh, and a process that happens to bear its name there is none of ours.
void resetTouchBarPreferences(const ProcessControl& processes, Log& log, TouchBarServices kind) {
    log.writeLine(QStringLiteral("🔧 Resetting Touch Bar preferences and cache..."));
    for (const QString& domain :
         {QStringLiteral("com.apple.touchbar.agent"), QStringLiteral("com.apple.controlstrip"),
          QStringLiteral("com.apple.TouchBarAgent")}) {
        // A domain that does not exist makes the tool fail; that is not worth a line.
        if (processes
                .run(QStringLiteral("/usr/bin/defaults"), {QStringLiteral("delete"), domain},
                     Echo::OutputAndErrors)
                .exitedWith(0))
            log.writeLine(QStringLiteral("   ✅ Cleared ") + domain);
    }
    if (kind == TouchBarServices::AppleProcesses)
        processes.restartDock();
}

void logBannerStart(Log& log, const QString& heading, const QDateTime& time) {
    log.writeLine(QStringLiteral("\n") + log::rule());
    log.writeLine(heading);
    log.writeLine(QStringLiteral("   Timestamp: ") + log::timestamp(time));
}

// What every restart does once its services were asked to go: the wait, a look at what came
// back, and, only when all went well, the preference reset and the closing banner.
RestartReport finishRestart(const Services& services, const ProcessControl& processes,
                            TouchBarServices kind, const Listing& before,
                            const std::optional<TouchBarError>& terminationError,
                            qint64 restartCount, RestartReport report) {
    Log& log = services.output;
    log.writeLine(QStringLiteral("\n⏱️ Waiting 2 seconds for processes to restart..."));
    services.clock.sleep(relaunchWait);
    listProcesses(processes, log, QStringLiteral("\n📊 POST-RESTART PROCESS STATUS:"),
                  processesOf(kind));

    log.writeLine(QStringLiteral("\n🔍 Verifying critical Touch Bar processes:"));
    const QStringList critical = criticalProcessesOf(kind);
    RunningProcesses mainProcesses;
    for (const QString& name : critical) {
        const RunningProcesses found = processes.findProcesses(name).value_or(RunningProcesses());
        log.writeLine(QStringLiteral("   • ") + name + QStringLiteral(": ") +
                      (found.isEmpty() ? QStringLiteral("⚠️ NOT DETECTED")
                                       : QStringLiteral("✅ VERIFIED RUNNING")));
        if (name == critical.front())
            mainProcesses = found;
    }
    // A restarted service is a new process: one from before that still runs ignored its end.
    const RunningProcesses earlier = before.value(critical.front());
    std::optional<qint64> survivor;
    for (const RunningProcess& process : mainProcesses) {
        if (process.id > 0 &&
            std::any_of(earlier.begin(), earlier.end(),
                        [&](const RunningProcess& old) { return old.id == process.id; }))
            survivor = process.id;
    }

    if (!terminationError && !mainProcesses.isEmpty() && !survivor) {
        log.writeLine(QStringLiteral("🔧 Resetting Touch Bar preferences..."));
        resetTouchBarPreferences(processes, log, kind);
        log.writeLine(QStringLiteral("\n") + log::rule());
        log.writeLine(QStringLiteral("✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!"));
        log.writeLine(QStringLiteral("   Restart Count: #") +
                      QString::number(nextRestartCount(restartCount)));
        log.writeLine(QStringLiteral("   Timestamp: ") + log::timestamp(services.clock.now()));
        log.writeLine(QStringLiteral("   Duration: ~2.5 seconds"));
        log.writeLine(QStringLiteral("   Final Status: ") +
                      touchBarStatus(processes, critical.front()));
        log.writeLine(log::rule() + QStringLiteral("\n"));
        return report;
    }

    if (terminationError) {
        log.writeLine(QStringLiteral("❌ Touch Bar restart failed - process termination issues"));
        report.error = report.lastError = terminationError;
    } else if (survivor) {
        const QString detail =
            QStringLiteral("%1: the same process (PID %2) is still running after being asked "
                           "to quit")
                .arg(critical.front())
                .arg(*survivor);
        log.writeLine(QStringLiteral("❌ Touch Bar restart failed - ") + detail);
        report.error = report.lastError = TouchBarError::killFailed(detail);
    } else {
        log.writeLine(QStringLiteral(
            "⚠️ Touch Bar restart completed but critical processes not detected"));
        log.writeLine(QStringLiteral("   This may indicate a deeper system issue"));
        report.error = TouchBarError::serviceRestartFailed();
        // A probe that ran out of time is the likelier cause; the alert says which.
        const QStringList& stopped = processes.timedOutTools();
        if (!stopped.isEmpty())
            report.error =
                TouchBarError::unknown(report.error->errorDescription() + QStringLiteral(": ") +
                                       stopped.join(QStringLiteral(", ")) +
                                       QStringLiteral(" did not finish in time and was stopped"));
    }
    return report;
}

} // namespace

qint64 nextRestartCount(qint64 count) {
    return count == std::numeric_limits<qint64>::max() ? count : count + 1;
}

RestartReport restartTouchBarServices(const Services& services, TouchBarServices kind,
                                      qint64 restartCount) {
    Log& log = services.output;
    const ProcessControl processes(services);
    RestartReport report;
    const bool touchBar = checkTouchBarAvailability(processes, services, kind);
    report.touchBarPresent = touchBar;

    log.writeLine(QStringLiteral("🚀 Starting Touch Bar restart process..."));
    log.writeLine(QStringLiteral("   Device has Touch Bar: ") + log::truth(touchBar));
    log.writeLine(QStringLiteral("   Model: ") + getModelIdentifier(services.modelQuery, log));
    logBannerStart(log, QStringLiteral("🚀 TOUCH BAR RESTART INITIATED"), services.clock.now());
    log.writeLine(QStringLiteral("   Device model: ") +
                  getModelIdentifier(services.modelQuery, log));
    log.writeLine(QStringLiteral("   Has Touch Bar: ") + log::truth(touchBar));
    log.writeLine(QStringLiteral("   App: Corvane ") + applicationVersion);
    log.writeLine(log::rule());

    if (!touchBar) {
        log.writeLine(QStringLiteral("❌ No Touch Bar detected on this device"));
        report.error = report.lastError = TouchBarError::noTouchBar();
        return report;
    }

    const QStringList targets = processesOf(kind);
    const Listing before =
        listProcesses(processes, log, QStringLiteral("\n📊 PRE-RESTART PROCESS STATUS:"), targets);

    const bool daemon = kind == TouchBarServices::LinuxDaemon;
    log.writeLine(daemon ? QStringLiteral("\n🎯 RESTARTING SERVICE:")
                         : QStringLiteral("\n🎯 KILLING PROCESSES:"));
    log.writeLine(QStringLiteral("   Targets: ") + (daemon ? ProcessControl::touchBarDaemonUnit
                                                           : targets.join(QStringLiteral(", "))));
    std::optional<TouchBarError> recorded;
    for (const QString& target :
         daemon ? QStringList{ProcessControl::touchBarDaemonUnit} : targets) {
        const std::optional<TouchBarError> error =
            daemon ? processes.restartDaemon()
                   : processes.secureKillProcess(target, before.value(target));
        if (!error)
            continue;
        log.writeLine((daemon ? QStringLiteral("❌ Failed to restart ")
                              : QStringLiteral("❌ Failed to kill ")) +
                      target + QStringLiteral(": ") + error->errorDescription());
        if (error->kind() == TouchBarError::Kind::PermissionDenied)
            report.refused << target;
        recorded = error;
    }
    // The services only an administrator may restart are named together, as the alert asks
    // for all of them at once.
    if (recorded && !report.refused.isEmpty())
        recorded = TouchBarError::permissionDenied(report.refused.join(QStringLiteral(", ")));
    return finishRestart(services, processes, kind, before, recorded, restartCount, report);
}

RestartReport restartAsAdministrator(const Services& services, TouchBarServices kind,
                                     const QStringList& refused, qint64 restartCount) {
    Log& log = services.output;
    const ProcessControl processes(services);
    logBannerStart(log, QStringLiteral("🚀 TOUCH BAR RESTART AS ADMINISTRATOR"),
                   services.clock.now());
    log.writeLine(QStringLiteral("   Targets: ") + refused.join(QStringLiteral(", ")));
    log.writeLine(QStringLiteral("   App: Corvane ") + applicationVersion);
    log.writeLine(log::rule());
    const Listing before = listProcesses(
        processes, log, QStringLiteral("\n📊 PRE-RESTART PROCESS STATUS:"), processesOf(kind));

    RestartReport report;
    for (const QString& target : refused) {
        if (const std::optional<TouchBarError> error = processes.restartAsAdministrator(target)) {
            log.writeLine(QStringLiteral("❌ Touch Bar restart as administrator failed: ") +
                          error->errorDescription());
            report.error = report.lastError = error;
            report.refused = refused;
            return report;
        }
    }
    return finishRestart(services, processes, kind, before, std::nullopt, restartCount, report);
}

} // namespace corvane
