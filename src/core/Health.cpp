#include "core/Health.h"

#include "core/LogFormat.h"
#include "core/SystemdUnit.h"
#include "platform/TouchBarDisplay.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvane {
namespace {

bool isUsbId(const QByteArray& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{4}$"));
    return hex.match(QString::fromLatin1(text)).hasMatch();
}

bool isT2Model(const QString& model) {
    return model.startsWith(QLatin1String("MacBookPro15,")) ||
           model.startsWith(QLatin1String("MacBookPro16,"));
}

Health judged(HealthState state, QString reason) {
    return {state, std::move(reason), {}};
}

// What the Touch Bar's devices alone tell, before the daemon is looked at; nothing when they
// look as they should.
std::optional<Health> devicesVerdict(const QString& model, const Devices& devices) {
    if (!devices.problem.isEmpty())
        return judged(HealthState::Unknown, devices.problem);
    bool display = false;
    bool keyboard = false;
    // The Touch Bar's two USB devices on a T2: its display (05ac:8302), and the keyboard and
    // backlight (05ac:8102).
    for (const UsbDevice& device : devices.usb) {
        if (!isUsbId(device.vendor) || !isUsbId(device.product))
            return judged(HealthState::Unknown, device.path + QStringLiteral(" holds no USB id"));
        if (device.vendor == "05ac") {
            display |= device.product == "8302";
            keyboard |= device.product == "8102";
        }
    }
    const bool t2 = isT2Model(model) || display || keyboard;
    if (t2 && !display)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's display (USB 05ac:8302) is not on the bus"));
    if (t2 && !keyboard)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's keyboard and backlight (USB 05ac:8102) are "
                                     "not on the bus"));
    if (t2 && !devices.displayDrivers.contains(QStringLiteral("appletbdrm")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("no display card is driven by appletbdrm"));
    if (t2 && !devices.backlights.contains(QStringLiteral("appletb_backlight")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("the Touch Bar's backlight (appletb_backlight) is gone"));
    if (isAppleSiliconModel(model) && !devices.displayDrivers.contains(QStringLiteral("adp")))
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("no display card is driven by adp"));
    return std::nullopt;
}

Health daemonHealth(const Backend& backend, const Observation& seen) {
    if (!seen.devices)
        return judged(HealthState::Unknown, QStringLiteral("the Touch Bar's devices were not read"));
    if (std::optional<Health> verdict = devicesVerdict(seen.model, *seen.devices))
        return *verdict;
    if (!seen.unit)
        return judged(HealthState::Unknown, backend.unit + QStringLiteral(" was not read"));
    if (!seen.unit->problem.isEmpty())
        return judged(HealthState::Unknown, seen.unit->problem);

    const auto property = [&](const char* key) {
        return seen.unit->values.value(QLatin1String(key));
    };
    const bool daemonRuns = !ownProcesses(backend, seen, backend.critical.front()).isEmpty();
    if (property("LoadState") != QLatin1String("loaded"))
        return judged(HealthState::Unknown, backend.unit + QStringLiteral(" is not loaded (") +
                                                property("LoadState") + QLatin1Char(')'));
    if (property("ActiveState") == QLatin1String("failed"))
        return judged(HealthState::DaemonFailed,
                      backend.unit + QStringLiteral(" failed (") + property("Result") +
                          (property("Result") == QLatin1String("start-limit-hit")
                               ? QStringLiteral(": it was restarted too often and systemd gave up)")
                               : QStringLiteral(")")));
    if (property("ActiveState") != QLatin1String("active") || !daemonRuns)
        return judged(HealthState::DaemonStopped,
                      backend.unit + QStringLiteral(" is ") + property("ActiveState") +
                          QStringLiteral(" (") + property("SubState") + QStringLiteral(")") +
                          (daemonRuns ? QString() : QStringLiteral(" and no tiny-dfr runs")));
    return judged(HealthState::Working, backend.unit + QStringLiteral(" runs"));
}

bool anyRuns(const Backend& backend, const Observation& seen, const QStringList& names) {
    return std::any_of(names.begin(), names.end(), [&](const QString& name) {
        return !ownProcesses(backend, seen, name).isEmpty();
    });
}

} // namespace

bool isAppleSiliconModel(const QString& model) {
    return model == QLatin1String("MacBookPro17,1") || model == QLatin1String("Mac14,7");
}

QString healthKey(HealthState state) {
    switch (state) {
    case HealthState::Working:
        return QStringLiteral("working");
    case HealthState::DaemonStopped:
        return QStringLiteral("daemon-stopped");
    case HealthState::DaemonFailed:
        return QStringLiteral("daemon-failed");
    case HealthState::DisplayDriverGone:
        return QStringLiteral("display-driver-gone");
    case HealthState::HardwareMissing:
        return QStringLiteral("hardware-missing");
    case HealthState::Unknown:
        return QStringLiteral("unknown");
    }
    Q_UNREACHABLE();
}

QString describeHealth(const Health& health) {
    QString state;
    switch (health.state) {
    case HealthState::Working:
        state = QStringLiteral("The Touch Bar works");
        break;
    case HealthState::DaemonStopped:
        state = QStringLiteral("The Touch Bar's service is not running");
        break;
    case HealthState::DaemonFailed:
        state = QStringLiteral("The Touch Bar's service has failed");
        break;
    case HealthState::DisplayDriverGone:
        state = QStringLiteral("The Touch Bar's display driver is gone");
        break;
    case HealthState::HardwareMissing:
        state = QStringLiteral("The Touch Bar hardware is not visible to the system");
        break;
    case HealthState::Unknown:
        state = QStringLiteral("Corvane could not tell whether the Touch Bar works");
        break;
    }
    return health.reason.isEmpty()
               ? state + QLatin1Char('.')
               : state + QStringLiteral(": ") + health.reason + QLatin1Char('.');
}

RunningProcesses ownProcesses(const Backend& backend, const Observation& seen,
                              const QString& name) {
    RunningProcesses own = seen.processes.value(name).value_or(RunningProcesses());
    if (backend.restart != Backend::Restart::RestartUnit)
        return own;
    // Anyone may start a program named tiny-dfr; the daemon is the one systemd started.
    bool validId = false;
    const qint64 main = seen.unit ? seen.unit->values.value(QStringLiteral("MainPID")).toLongLong(&validId) : 0;
    own.removeIf([&](const RunningProcess& process) {
        return process.owner != 0 && !(validId && main > 0 && process.id == main);
    });
    return own;
}

Observation observeHealth(const Backend& backend, const ToolSession& tools, const QString& root,
                          const QString& model, const ProcessListing& listing) {
    Observation seen;
    seen.model = model;
    seen.processes = listing;
    if (!listing.value(backend.critical.front()))
        return seen;
    if (backend.restart == Backend::Restart::RestartUnit) {
        seen.devices = observeDevices(root);
        if (!devicesVerdict(model, *seen.devices))
            seen.unit = SystemdUnit(tools, backend.unit).properties();
    } else if (!anyRuns(backend, seen, {backend.critical.front()}) &&
               !(backend.onlyWhileRunning && !anyRuns(backend, seen, backend.critical))) {
        seen.touchBarDisplaySeen = touchBarDisplaySeen();
    }
    return seen;
}

Health classifyHealth(const Backend& backend, const Observation& seen) {
    const QString& main = backend.critical.front();
    Health health;
    if (!seen.processes.value(main)) {
        health = judged(HealthState::Unknown, QStringLiteral("nobody could look for ") + main);
    } else if (backend.onlyWhileRunning && !anyRuns(backend, seen, backend.critical)) {
        // No service list of a system this is not: there is nothing here to restart.
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("neither tiny-dfr nor macOS's Touch Bar services are on this "
                                     "machine"));
    } else if (backend.restart == Backend::Restart::RestartUnit) {
        health = daemonHealth(backend, seen);
    } else if (anyRuns(backend, seen, {main})) {
        health = judged(HealthState::Working, main + QStringLiteral(" runs"));
    } else if (seen.touchBarDisplaySeen == false) {
        health = judged(HealthState::HardwareMissing,
                        QStringLiteral("the system lists no Touch Bar display"));
    } else {
        health = judged(HealthState::DaemonStopped, main + QStringLiteral(" is not running"));
    }
    for (const QString& name : backend.processes)
        health.services << ServiceStatus{name, !ownProcesses(backend, seen, name).isEmpty()};
    return health;
}

void logHealth(Log& log, const QString& when, const Health& health) {
    log.writeLine(QStringLiteral("🩺 Touch Bar health ") + when + QStringLiteral(": ") +
                  healthKey(health.state));
    if (!health.reason.isEmpty())
        log.writeLine(QStringLiteral("   ") + health.reason);
}

} // namespace corvane
