#include "core/Restart.h"

#include "core/AdministratorFix.h"
#include "core/Detection.h"
#include "core/LogFormat.h"
#include "core/SystemdUnit.h"
#include "core/Version.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace corvane {
namespace {

using administrator::Fix;

// How long the system gets to relaunch the terminated services.
constexpr std::chrono::nanoseconds relaunchWait = std::chrono::seconds(2);

// Which of the processes found before a pass that pass meant to end: a process of these that is
// still there afterwards ignored its end.
using Targeted = std::function<bool(const RunningProcess&)>;

ProcessListing listProcesses(const Processes& processes, Log& log, const QString& heading,
                             const QStringList& names) {
    log.writeLine(heading);
    ProcessListing listing;
    for (const QString& name : names) {
        const std::optional<RunningProcesses> found = processes.find(name);
        listing.insert(name, found);
        log.writeLine(QStringLiteral("   • ") + name + QStringLiteral(": ") +
                      (found && !found->isEmpty() ? QStringLiteral("✅ Running")
                                                  : QStringLiteral("❌ Not Running")));
    }
    return listing;
}

// Deletes the backend's preference domains and restarts the Dock where it has them, so the
// relaunched services start clean. Best effort: logs what worked, never fails.
void resetTouchBarPreferences(const ToolSession& tools, const Backend& backend) {
    if (backend.preferenceDomains.isEmpty() && !backend.refreshesDock)
        return;
    Log& log = tools.log();
    log.writeLine(QStringLiteral("🔧 Resetting Touch Bar preferences..."));
    log.writeLine(QStringLiteral("🔧 Resetting Touch Bar preferences and cache..."));
    for (const QString& domain : backend.preferenceDomains) {
        // A domain that does not exist makes the tool fail; that is not worth a line.
        if (tools
                .run(QStringLiteral("/usr/bin/defaults"), {QStringLiteral("delete"), domain},
                     Echo::OutputAndErrors)
                .exitedWith(0))
            log.writeLine(QStringLiteral("   ✅ Cleared ") + domain);
    }
    if (!backend.refreshesDock)
        return;
    // The system relaunches the Dock; killall fails when no Dock runs, which leaves nothing to
    // refresh either.
    const ToolOutcome dock = tools.run(QStringLiteral("/usr/bin/killall"), {QStringLiteral("Dock")},
                                       Echo::OutputAndErrors);
    if (!dock.launched())
        log.writeLine(QStringLiteral("   ⚠️ Could not restart Dock: ") +
                      dock.launchError->fullText);
    else if (!dock.timedOut)
        log.writeLine(QStringLiteral("   ✅ Restarted Dock to refresh Touch Bar"));
}

void logBannerStart(Log& log, const QString& heading, const QDateTime& time) {
    log.writeLine(QStringLiteral("\n") + log::rule());
    log.writeLine(heading);
    log.writeLine(QStringLiteral("   Timestamp: ") + log::timestamp(time));
}

// The one step the health asks for before anything is restarted: none for a restart as the
// person, else the administrator's fix, or nothing that could help at all.
struct Step {
    bool restartAsPerson = false;
    std::optional<Fix> administratorFix;
};

// `made` is the administrator's fix just made, if any: a health that asks for it again climbs
// to the next rung, the display's configuration selected again to the drivers reloaded.
Step stepFor(const Health& health, const Backend& backend, const QString& model,
             std::optional<Fix> made = std::nullopt) {
    const auto fixOrNothing = [&](Fix fix) {
        if (made == Fix::ReselectDisplay && fix == Fix::ReselectDisplay)
            fix = Fix::ReloadDrivers;
        return backend.fixes.contains(fix) ? Step{false, fix} : Step{};
    };
    switch (health.state) {
    case HealthState::DaemonFailed:
        return fixOrNothing(Fix::ResetDaemon);
    case HealthState::DisplayTimedOut:
    case HealthState::FirmwareKeys:
        return fixOrNothing(Fix::ReselectDisplay);
    case HealthState::DisplayDriverGone:
        // The T2 models' Touch Bar drivers can be reloaded on their own; Apple silicon's display
        // driver drives the main display too.
        if (isAppleSiliconModel(model))
            return {};
        return fixOrNothing(Fix::ReloadDrivers);
    case HealthState::HardwareMissing:
    case HealthState::BridgeLost:
    case HealthState::CardBusy:
    case HealthState::BoundDeviceMissing:
        return {};
    case HealthState::Working:
    case HealthState::DaemonStopped:
    case HealthState::DaemonCrashed:
    case HealthState::JournalUnread:
    case HealthState::Unknown:
        break;
    }
    return {true, std::nullopt};
}

QString fixText(Fix fix) {
    switch (fix) {
    case Fix::StopServices:
        return QStringLiteral("restarting the Touch Bar's system services");
    case Fix::RestartDaemon:
        return QStringLiteral("restarting tiny-dfr");
    case Fix::ResetDaemon:
        return QStringLiteral("clearing its failed state and restarting it");
    case Fix::ReselectDisplay:
        return QStringLiteral("selecting the Touch Bar display's USB configuration again and "
                              "starting tiny-dfr");
    case Fix::ReloadDrivers:
        return QStringLiteral("reloading the Touch Bar's drivers and restarting tiny-dfr");
    }
    Q_UNREACHABLE();
}

// What the person can do when nothing Corvane may do helps.
TouchBarError notWorking(const Health& health) {
    QString advice;
    switch (health.state) {
    case HealthState::HardwareMissing:
        advice = QStringLiteral(
            "Restarting services cannot help. Shut the computer down fully (not a restart), "
            "wait a few seconds and start it again; on a Mac with a T2 chip, also reset the SMC.");
        break;
    case HealthState::DisplayDriverGone:
    case HealthState::DisplayTimedOut:
    case HealthState::FirmwareKeys:
        advice = QStringLiteral("Restarting the computer loads its drivers again.");
        break;
    case HealthState::BridgeLost:
        advice = QStringLiteral(
            "Restarting services or drivers cannot help, and reloading the bridge's own drivers "
            "would remove the only keyboard. Shut the computer down fully (not a restart), wait "
            "a few seconds and start it again.");
        break;
    case HealthState::CardBusy:
        advice = QStringLiteral("Log out and in again, so that tiny-dfr opens the display before "
                                "anything else does.");
        break;
    case HealthState::BoundDeviceMissing:
        advice = QStringLiteral("No restart can help until tiny-dfr supports this device; tell "
                                "its maintainers which one it is.");
        break;
    case HealthState::JournalUnread:
        advice = health.hint;
        break;
    default:
        advice = QStringLiteral("Try again; if it stays so, restart the computer.");
        break;
    }
    return TouchBarError::touchBarNotWorking(describeHealth(health) + QLatin1Char(' ') + advice);
}

// Ends a run whose health asks for an administrator's fix: it is offered, and nothing is
// counted.
RestartReport offerAdministratorFix(Log& log, const Health& health, Fix fix, RestartReport report) {
    log.writeLine(QStringLiteral("🔒 Fixing it means ") + fixText(fix) +
                  QStringLiteral(", which only an administrator may do"));
    report.administratorFix = fix;
    report.error = report.lastError = TouchBarError::administratorNeeded(
        describeHealth(health) + QStringLiteral(" Fixing it means ") + fixText(fix) +
        QStringLiteral(", which needs an administrator."));
    return report;
}

// The wait, a look at what came back, the health, and, only when all went well, the
// preference reset and the closing banner.
RestartReport finishRestart(const ToolSession& tools, const Processes& processes,
                            const Backend& backend, const QString& model, const Observation& before,
                            const Targeted& targeted,
                            const std::optional<TouchBarError>& terminationError,
                            qint64 restartCount, RestartReport report,
                            std::optional<Fix> made = std::nullopt) {
    const Services& services = tools.services();
    Log& log = services.output;
    log.writeLine(QStringLiteral("\n⏱️ Waiting 2 seconds for processes to restart..."));
    services.clock.sleep(relaunchWait);
    const ProcessListing listing = listProcesses(
        processes, log, QStringLiteral("\n📊 POST-RESTART PROCESS STATUS:"), backend.processes);
    // Whose a process is comes with the rest of what is seen: the daemon's is the unit's.
    const Observation after = observeHealth(backend, tools, services.root, model, listing);

    log.writeLine(QStringLiteral("\n🔍 Verifying critical Touch Bar processes:"));
    const QString& main = backend.critical.front();
    for (const QString& name : backend.critical) {
        const bool found = !ownProcesses(backend, after, name).isEmpty();
        log.writeLine(
            QStringLiteral("   • ") + name + QStringLiteral(": ") +
            (found ? QStringLiteral("✅ VERIFIED RUNNING") : QStringLiteral("⚠️ NOT DETECTED")));
    }
    const RunningProcesses mainProcesses = ownProcesses(backend, after, main);
    // A restarted service is a new process: one this pass meant to end that still runs
    // ignored its end.
    const RunningProcesses earlier = ownProcesses(backend, before, main);
    std::optional<qint64> survivor;
    for (const RunningProcess& process : mainProcesses) {
        if (process.id > 0 && std::any_of(earlier.begin(), earlier.end(), [&](const auto& old) {
                return old.id == process.id && targeted(old);
            }))
            survivor = process.id;
    }
    const Health health = classifyHealth(backend, after);
    logHealth(log, QStringLiteral("after the fix"), health);
    report.health = health;

    if (!terminationError && !mainProcesses.isEmpty() && !survivor && health.isWorking()) {
        resetTouchBarPreferences(tools, backend);
        log.writeLine(QStringLiteral("\n") + log::rule());
        log.writeLine(QStringLiteral("✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!"));
        log.writeLine(QStringLiteral("   Restart Count: #") +
                      QString::number(nextRestartCount(restartCount)));
        log.writeLine(QStringLiteral("   Timestamp: ") + log::timestamp(services.clock.now()));
        log.writeLine(QStringLiteral("   Duration: ~2.5 seconds"));
        log.writeLine(QStringLiteral("   Final Status: Running"));
        log.writeLine(log::rule() + QStringLiteral("\n"));
        return report;
    }

    if (terminationError) {
        log.writeLine(QStringLiteral("❌ Touch Bar restart failed - process termination issues"));
        report.error = report.lastError = terminationError;
        // One prompt for everything the pass needs: the fix the health asks for goes further
        // than restarting what was refused.
        if (const std::optional<Fix> fix = stepFor(health, backend, model).administratorFix) {
            report.administratorFix = fix;
            report.error = report.lastError = TouchBarError::administratorNeeded(
                terminationError->errorDescription() + QLatin1Char(' ') + describeHealth(health) +
                QStringLiteral(" Fixing it means ") + fixText(*report.administratorFix) +
                QLatin1Char('.'));
        }
    } else if (survivor) {
        const QString detail =
            QStringLiteral("%1: the same process (PID %2) is still running after being asked "
                           "to quit")
                .arg(main)
                .arg(*survivor);
        log.writeLine(QStringLiteral("❌ Touch Bar restart failed - ") + detail);
        report.error = report.lastError = TouchBarError::killFailed(detail);
    } else if (!mainProcesses.isEmpty()) {
        log.writeLine(QStringLiteral("❌ Touch Bar restart failed - the Touch Bar still does not "
                                     "work"));
        // A new invocation that panics the same way will do so after any restart: saying so
        // beats offering one more.
        const Health first = classifyHealth(backend, before);
        const auto invocation = [](const Observation& seen) {
            return seen.unit ? seen.unit->values.value(QStringLiteral("InvocationID")) : QString();
        };
        if (health.state == HealthState::DaemonCrashed && first.panic == health.panic &&
            invocation(before) != invocation(after)) {
            const QString again =
                QStringLiteral("tiny-dfr crashed again at once, with the same panic: ") +
                health.panic;
            log.writeLine(QStringLiteral("   ") + again);
            report.error = report.lastError = TouchBarError::touchBarNotWorking(
                QStringLiteral("The Touch Bar's service has crashed again: ") + again +
                QStringLiteral(". Restarting cannot help until what it panics over is fixed "
                               "(often its configuration file, an icon or a font)."));
            return report;
        }
        if (const std::optional<Fix> fix = stepFor(health, backend, model, made).administratorFix)
            return offerAdministratorFix(log, health, *fix, report);
        report.error = report.lastError = notWorking(health);
    } else {
        log.writeLine(QStringLiteral(
            "⚠️ Touch Bar restart completed but critical processes not detected"));
        log.writeLine(QStringLiteral("   This may indicate a deeper system issue"));
        report.error = TouchBarError::serviceRestartFailed();
        // A probe that ran out of time is the likelier cause; the alert says which.
        const QStringList& stopped = tools.timedOutTools();
        if (!stopped.isEmpty())
            report.error =
                TouchBarError::unknown(report.error->errorDescription() + QStringLiteral(": ") +
                                       stopped.join(QStringLiteral(", ")) +
                                       QStringLiteral(" did not finish in time and was stopped"));
    }
    return report;
}

// The person's own restart of every service: terminating each by name, or systemd's restart
// of the unit. What only an administrator may restart is named together, as the alert asks for
// all of it at once.
std::optional<TouchBarError> restartAsPerson(const ToolSession& tools, const Processes& processes,
                                             const Backend& backend, const ProcessListing& before,
                                             RestartReport& report) {
    Log& log = tools.log();
    const bool terminating = backend.restart == Backend::Restart::TerminateEach;
    const QStringList targets = terminating ? backend.processes : QStringList{backend.unit};
    log.writeLine(terminating ? QStringLiteral("\n🎯 KILLING PROCESSES:")
                              : QStringLiteral("\n🎯 RESTARTING SERVICE:"));
    log.writeLine(QStringLiteral("   Targets: ") + targets.join(QStringLiteral(", ")));
    std::optional<TouchBarError> recorded;
    QStringList refused;
    for (const QString& target : targets) {
        const std::optional<TouchBarError> error =
            terminating
                ? processes.terminate(target, before.value(target).value_or(RunningProcesses()))
                : SystemdUnit(tools, target).restart();
        if (!error)
            continue;
        log.writeLine((terminating ? QStringLiteral("❌ Failed to kill ")
                                   : QStringLiteral("❌ Failed to restart ")) +
                      target + QStringLiteral(": ") + error->errorDescription());
        if (error->kind() == TouchBarError::Kind::PermissionDenied)
            refused << target;
        recorded = error;
    }
    if (recorded && !refused.isEmpty()) {
        report.administratorFix = backend.refusedFix;
        recorded = TouchBarError::permissionDenied(refused.join(QStringLiteral(", ")));
    }
    return recorded;
}

} // namespace

qint64 nextRestartCount(qint64 count) {
    return count == std::numeric_limits<qint64>::max() ? count : count + 1;
}

RestartReport restartTouchBarServices(const Services& services, const Backend& backend,
                                      qint64 restartCount) {
    Log& log = services.output;
    const ToolSession tools(services);
    const Processes processes(tools, backend);
    RestartReport report;
    const bool touchBar = checkTouchBarAvailability(processes, services, backend);
    report.touchBarPresent = touchBar;

    const QString model = getModelIdentifier(services.modelQuery, log);
    log.writeLine(QStringLiteral("🚀 Starting Touch Bar restart process..."));
    log.writeLine(QStringLiteral("   Device has Touch Bar: ") + log::truth(touchBar));
    log.writeLine(QStringLiteral("   Model: ") + model);
    logBannerStart(log, QStringLiteral("🚀 TOUCH BAR RESTART INITIATED"), services.clock.now());
    log.writeLine(QStringLiteral("   Device model: ") + model);
    log.writeLine(QStringLiteral("   Has Touch Bar: ") + log::truth(touchBar));
    log.writeLine(QStringLiteral("   App: Corvane ") + applicationVersion);
    log.writeLine(log::rule());

    if (!touchBar) {
        log.writeLine(QStringLiteral("❌ No Touch Bar detected on this device"));
        report.error = report.lastError = TouchBarError::noTouchBar();
        return report;
    }

    const ProcessListing listing = listProcesses(
        processes, log, QStringLiteral("\n📊 PRE-RESTART PROCESS STATUS:"), backend.processes);
    const Observation before =
        observeHealth(backend, tools, services.root, model.trimmed(), listing);
    const Health health = classifyHealth(backend, before);
    logHealth(log, QStringLiteral("before the fix"), health);
    report.healthBefore = report.health = health;
    const Step step = stepFor(health, backend, model.trimmed());
    if (step.administratorFix)
        return offerAdministratorFix(log, health, *step.administratorFix, report);
    if (!step.restartAsPerson) {
        log.writeLine(QStringLiteral("❌ No restart can help: ") + describeHealth(health));
        report.error = report.lastError = notWorking(health);
        return report;
    }

    report.steps << QStringLiteral("restart");
    const std::optional<TouchBarError> error =
        restartAsPerson(tools, processes, backend, listing, report);
    const uid_t user = services.user;
    const bool terminating = backend.restart == Backend::Restart::TerminateEach;
    return finishRestart(
        tools, processes, backend, model.trimmed(), before,
        [=](const RunningProcess& process) { return !terminating || process.owner == user; }, error,
        restartCount, report);
}

RestartReport restartAsAdministrator(const Services& services, const Backend& backend, Fix fix,
                                     qint64 restartCount) {
    Log& log = services.output;
    const ToolSession tools(services);
    const Processes processes(tools, backend);
    logBannerStart(log, QStringLiteral("🚀 TOUCH BAR RESTART AS ADMINISTRATOR"),
                   services.clock.now());
    log.writeLine(QStringLiteral("   Fix: ") + administrator::verb(fix));
    log.writeLine(QStringLiteral("   App: Corvane ") + applicationVersion);
    log.writeLine(log::rule());
    Observation before;
    before.processes = listProcesses(
        processes, log, QStringLiteral("\n📊 PRE-RESTART PROCESS STATUS:"), backend.processes);

    RestartReport report;
    const std::optional<TouchBarError> error = fixAsAdministrator(tools, fix, backend.processes);
    if (!error || (error->kind() != TouchBarError::Kind::AdministratorDeclined &&
                   error->kind() != TouchBarError::Kind::PromptUnavailable))
        report.steps << administrator::verb(fix);
    if (error) {
        log.writeLine(QStringLiteral("❌ Touch Bar restart as administrator failed: ") +
                      error->errorDescription());
        report.error = report.lastError = error;
        // A display that did not come back with its configuration climbs to the drivers' reload;
        // a prompt that was dismissed leaves the same fix on offer.
        report.administratorFix =
            fix == Fix::ReselectDisplay && error->kind() == TouchBarError::Kind::Unknown
                ? Fix::ReloadDrivers
                : fix;
        return report;
    }
    const QString model = getModelIdentifier(services.modelQuery, log).trimmed();
    // The administrator's pass ended root's copies of the services, or the whole daemon.
    const bool rootsOnly = fix == Fix::StopServices;
    return finishRestart(
        tools, processes, backend, model, before,
        [=](const RunningProcess& process) { return !rootsOnly || process.owner == 0; },
        std::nullopt, restartCount, report, fix);
}

RestartReport fixUnasked(const Services& services, const Backend& backend, qint64 restartCount,
                         const std::function<bool(Fix)>& grantedUnasked) {
    RestartReport report = restartTouchBarServices(services, backend, restartCount);
    if (!report.error || !report.administratorFix)
        return report;
    if (!grantedUnasked(*report.administratorFix)) {
        services.output.writeLine(QStringLiteral("🔒 Not asking for a password unasked: ") +
                                  administrator::verb(*report.administratorFix) +
                                  QStringLiteral(" is left for the person to allow"));
        return report;
    }
    services.output.writeLine(QStringLiteral("🔓 polkit allows ") +
                              administrator::verb(*report.administratorFix) +
                              QStringLiteral(" without a password"));
    RestartReport made =
        corvane::restartAsAdministrator(services, backend, *report.administratorFix, restartCount);
    made.touchBarPresent = report.touchBarPresent;
    return made;
}

Health checkTouchBarHealth(const Services& services, const Backend& backend) {
    const ToolSession tools(services);
    const ProcessListing listing =
        listProcesses(Processes(tools, backend), services.output,
                      QStringLiteral("📊 TOUCH BAR PROCESS STATUS:"), backend.processes);
    const QString model = getModelIdentifier(services.modelQuery, services.output).trimmed();
    Health health =
        classifyHealth(backend, observeHealth(backend, tools, services.root, model, listing));
    logHealth(services.output, QStringLiteral("now"), health);
    return health;
}

} // namespace corvane
