#include "core/Health.h"

#include "core/Journal.h"
#include "core/LogFormat.h"
#include "core/SystemdUnit.h"
#include "platform/TouchBarDisplay.h"

#include <QRegularExpression>

#include <algorithm>
#include <functional>

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
    return {state, std::move(reason), {}, {}, {}};
}

// A journal's words cut to what an alert can hold.
QString shortened(const QString& words) {
    constexpr qsizetype limit = 120;
    return words.size() <= limit ? words : words.left(limit - 1) + QStringLiteral("…");
}

// The message of the newest of `lines` that `wanted` accepts; empty when none does.
QString newest(const QStringList& lines, const std::function<bool(const QString&)>& wanted) {
    for (qsizetype at = lines.size() - 1; at >= 0; --at) {
        if (QString message = journalMessage(lines.at(at)); wanted(message))
            return message;
    }
    return {};
}

// The T2 bridge's kernel lines of trouble: its drivers name themselves bce-vhci, apple-bce or
// t2bce.
QString bridgeTrouble(const Observation& seen) {
    static const QRegularExpression bridge(QStringLiteral("bce-vhci|apple[-_]bce|t2bce"));
    static const QRegularExpression trouble(QStringLiteral("error|fail|timed out|timeout"),
                                            QRegularExpression::CaseInsensitiveOption);
    return seen.journal ? newest(seen.journal->kernel,
                                 [](const QString& message) {
                                     return bridge.match(message).hasMatch() &&
                                            trouble.match(message).hasMatch();
                                 })
                        : QString();
}

// The display driver's kernel line saying the display did not answer.
QString displayTimeout(const Observation& seen) {
    return seen.journal
               ? newest(seen.journal->kernel,
                        [](const QString& message) {
                            return message.startsWith(QLatin1String("appletbdrm")) &&
                                   (message.contains(QLatin1String("Failed to send message")) ||
                                    message.contains(
                                        QLatin1String("Failed to get display information")));
                        })
               : QString();
}

// The daemon's panic in its own words: Rust writes "thread 'main' panicked at FILE:LINE:COL:"
// with the message on the next line, or, before 1.73, "panicked at 'message', FILE:LINE:COL".
QString panicWords(const QStringList& lines) {
    for (qsizetype at = lines.size() - 1; at >= 0; --at) {
        const QString message = journalMessage(lines.at(at));
        const qsizetype panicked = message.indexOf(QLatin1String("panicked at "));
        if (panicked < 0)
            continue;
        if (message.endsWith(QLatin1Char(':')) && at + 1 < lines.size())
            return shortened(journalMessage(lines.at(at + 1)));
        return shortened(message.mid(panicked + 12));
    }
    return {};
}

// The Touch Bar's side of the USB bus and its display card, as the devices show them.
struct TouchBarBus {
    // A device listed without a readable USB id, by its folder; the rest is then unknown.
    QString garbled;
    // The Touch Bar's two USB devices on a T2: its display (05ac:8302), and the keyboard and
    // backlight (05ac:8102).
    bool display = false;
    bool keyboard = false;
    // Whether the display is in USB configuration 1: the firmware's own keys; tiny-dfr draws
    // in 2.
    bool firmwareKeys = false;
    bool t2 = false;
    // Whether a display card is driven by appletbdrm.
    bool card = false;
};

TouchBarBus touchBarBus(const QString& model, const Devices& devices) {
    TouchBarBus bus;
    for (const UsbDevice& device : devices.usb) {
        if (!isUsbId(device.vendor) || !isUsbId(device.product)) {
            bus.garbled = device.path;
            return bus;
        }
        if (device.vendor == "05ac") {
            bus.display |= device.product == "8302";
            bus.keyboard |= device.product == "8102";
            bus.firmwareKeys |= device.product == "8302" && device.configuration == "1";
        }
    }
    bus.t2 = isT2Model(model) || bus.display || bus.keyboard;
    bus.card = devices.displayDrivers.contains(QStringLiteral("appletbdrm"));
    return bus;
}

// Whether the kernel's lines could change the verdict: they only tell why a T2's Touch Bar
// device or display card is gone. Finding them reads every kernel line of the boot, which a
// sound bus spares.
bool kernelLinesMatter(const Observation& seen) {
    const TouchBarBus bus = touchBarBus(seen.model, *seen.devices);
    return seen.devices->problem.isEmpty() && bus.garbled.isEmpty() && bus.t2 &&
           (!bus.display || !bus.keyboard || !bus.card);
}

// What the Touch Bar's devices alone tell, before the daemon is looked at; nothing when they
// look as they should.
std::optional<Health> devicesVerdict(const Observation& seen) {
    const QString& model = seen.model;
    const Devices& devices = *seen.devices;
    if (!devices.problem.isEmpty())
        return judged(HealthState::Unknown, devices.problem);
    const auto [garbled, display, keyboard, firmwareKeys, t2, card] = touchBarBus(model, devices);
    if (!garbled.isEmpty())
        return judged(HealthState::Unknown, garbled + QStringLiteral(" holds no USB id"));
    if (t2 && (!display || !keyboard)) {
        if (const QString trouble = bridgeTrouble(seen); !trouble.isEmpty())
            return judged(HealthState::BridgeLost,
                          QStringLiteral("the keyboard, trackpad and Touch Bar went with the T2 "
                                         "bridge (the kernel: ") +
                              shortened(trouble) + QLatin1Char(')'));
    }
    if (t2 && !display)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's display (USB 05ac:8302) is not on the bus"));
    if (t2 && !keyboard)
        return judged(HealthState::HardwareMissing,
                      QStringLiteral("the Touch Bar's keyboard and backlight (USB 05ac:8102) are "
                                     "not on the bus"));
    if (t2 && firmwareKeys && !card)
        return judged(HealthState::FirmwareKeys,
                      QStringLiteral("its display (USB 05ac:8302) is in USB configuration 1, "
                                     "where the firmware draws its own keys and tiny-dfr cannot "
                                     "drive it"));
    if (t2 && !card) {
        if (const QString timeout = displayTimeout(seen); !timeout.isEmpty())
            return judged(HealthState::DisplayTimedOut,
                          QStringLiteral("no display card is driven by appletbdrm, whose display "
                                         "did not answer (the kernel: ") +
                              shortened(timeout) + QLatin1Char(')'));
        return judged(HealthState::DisplayDriverGone,
                      QStringLiteral("no display card is driven by appletbdrm"));
    }
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
        return judged(HealthState::Unknown,
                      QStringLiteral("the Touch Bar's devices were not read"));
    if (std::optional<Health> verdict = devicesVerdict(seen))
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
    const QStringList daemonLines = seen.journal ? seen.journal->daemon : QStringList();
    if (const QString busy =
            newest(daemonLines,
                   [](const QString& message) {
                       return message.contains(QLatin1String("Device or resource busy"));
                   });
        !busy.isEmpty())
        return judged(HealthState::CardBusy,
                      QStringLiteral("another program opened the Touch Bar's display card first "
                                     "(tiny-dfr: ") +
                          shortened(busy) + QLatin1Char(')'));
    const bool active = property("ActiveState") == QLatin1String("active");
    for (auto bound = seen.unit->boundStates.cbegin(); bound != seen.unit->boundStates.cend();
         ++bound) {
        if (active || bound.value() == QLatin1String("active"))
            continue;
        QString reason = backend.unit + QStringLiteral(" is bound to ") + bound.key() +
                         QStringLiteral(", which is not there, so it never starts");
        // The Touch Bar's own display and backlight passed above: what is missing is the
        // screen's backlight.
        QStringList screens = seen.devices->backlights;
        screens.removeAll(QStringLiteral("appletb_backlight"));
        if (isT2Model(seen.model) && !screens.isEmpty())
            reason += QStringLiteral("; tiny-dfr does not support this screen's backlight (") +
                      screens.join(QStringLiteral(", ")) + QLatin1Char(')');
        return judged(HealthState::BoundDeviceMissing, reason);
    }
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
    if (!seen.journal)
        return judged(HealthState::Unknown, QStringLiteral("its journal was not read"));
    if (!seen.journal->problem.isEmpty())
        return judged(HealthState::Unknown, seen.journal->problem);
    if (!seen.journal->permitted)
        return judged(HealthState::JournalUnread,
                      backend.unit + QStringLiteral(" runs, but a crash would show only in the "
                                                    "system journal, which this user may not "
                                                    "read"));
    if (const QString panic = panicWords(daemonLines); !panic.isEmpty()) {
        Health crashed =
            judged(HealthState::DaemonCrashed,
                   QStringLiteral("tiny-dfr panicked and shows its crash screen: ") + panic);
        crashed.panic = panic;
        return crashed;
    }
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
    case HealthState::DaemonCrashed:
        return QStringLiteral("daemon-crashed");
    case HealthState::CardBusy:
        return QStringLiteral("card-busy");
    case HealthState::BoundDeviceMissing:
        return QStringLiteral("bound-device-missing");
    case HealthState::DisplayTimedOut:
        return QStringLiteral("display-timed-out");
    case HealthState::FirmwareKeys:
        return QStringLiteral("firmware-keys");
    case HealthState::DisplayDriverGone:
        return QStringLiteral("display-driver-gone");
    case HealthState::BridgeLost:
        return QStringLiteral("bridge-lost");
    case HealthState::JournalUnread:
        return QStringLiteral("journal-unread");
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
    case HealthState::DaemonCrashed:
        state = QStringLiteral("The Touch Bar's service has crashed");
        break;
    case HealthState::CardBusy:
        state = QStringLiteral("The Touch Bar's display is held by another program");
        break;
    case HealthState::BoundDeviceMissing:
        state = QStringLiteral("The Touch Bar's service waits for a device that is not there");
        break;
    case HealthState::DisplayTimedOut:
        state = QStringLiteral("The Touch Bar's display timed out");
        break;
    case HealthState::FirmwareKeys:
        state = QStringLiteral("The Touch Bar shows the firmware's keys");
        break;
    case HealthState::DisplayDriverGone:
        state = QStringLiteral("The Touch Bar's display driver is gone");
        break;
    case HealthState::BridgeLost:
        state = QStringLiteral("The T2 chip's connection is lost");
        break;
    case HealthState::JournalUnread:
        state = QStringLiteral("Corvane could not confirm that the Touch Bar works");
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
    const qint64 main =
        seen.unit ? seen.unit->values.value(QStringLiteral("MainPID")).toLongLong(&validId) : 0;
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
        observeKernel(root, seen);
        seen.unit = SystemdUnit(tools, backend.unit).properties();
        seen.journal = readJournal(tools, seen.unit->values.value(QStringLiteral("InvocationID")));
        if (kernelLinesMatter(seen))
            readKernelLines(tools, *seen.journal);
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
    if (seen.journal && !seen.journal->permitted)
        health.hint = QStringLiteral(
            "To let Corvane read the system journal, an administrator can add you to the "
            "systemd-journal group (sudo usermod -aG systemd-journal $USER, or the adm group); "
            "log in again afterwards.");
    return health;
}

void logHealth(Log& log, const QString& when, const Health& health) {
    log.writeLine(QStringLiteral("🩺 Touch Bar health ") + when + QStringLiteral(": ") +
                  healthKey(health.state));
    if (!health.reason.isEmpty())
        log.writeLine(QStringLiteral("   ") + health.reason);
    if (!health.hint.isEmpty())
        log.writeLine(QStringLiteral("   ") + health.hint);
}

} // namespace corvane
