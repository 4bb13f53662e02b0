#pragma once

#include "core/Backend.h"
#include "core/ToolSession.h"
#include "platform/Observation.h"

#include <QList>
#include <QString>

namespace corvane {

// Whether the Touch Bar works and, when it does not, what is wrong, in the order of the fixes
// that help: a stopped or crashed daemon restarts, a failed one is reset first, a display that
// timed out or shows the firmware's keys has its USB configuration selected again, a display
// driver that is gone is reloaded; a busy card, a bound device missing, a lost T2 bridge and
// missing hardware no restart can bring back.
enum class HealthState {
    Working,
    DaemonStopped,
    DaemonFailed,
    DaemonCrashed,
    CardBusy,
    BoundDeviceMissing,
    DisplayTimedOut,
    FirmwareKeys,
    DisplayDriverGone,
    BridgeLost,
    HardwareMissing,
    // The daemon runs, but the journal that would show a crash may not be read by this user.
    JournalUnread,
    Unknown,
};

struct ServiceStatus {
    QString name;
    bool running = false;
};

struct Health {
    HealthState state = HealthState::Unknown;
    // What was seen, in plain words; for Unknown, why it could not be told.
    QString reason;
    // The backend's services, each with whether it runs.
    QList<ServiceStatus> services;
    // For DaemonCrashed, the daemon's panic in its own words, shortened.
    QString panic;
    // One line on what would let Corvane see more, e.g. how to grant reading the journal.
    QString hint;

    bool isWorking() const { return state == HealthState::Working; }
};

// The state's stable key for scripts: "working", "daemon-stopped", "daemon-failed",
// "daemon-crashed", "card-busy", "bound-device-missing", "display-timed-out", "firmware-keys",
// "display-driver-gone", "bridge-lost", "hardware-missing", "journal-unread", "unknown".
QString healthKey(HealthState state);
// The state and its reason for people, e.g. "The Touch Bar's display driver is gone: no
// display card is driven by appletbdrm."
QString describeHealth(const Health& health);

// Whether `model` is one of the Apple silicon Macs with a Touch Bar, whose display driver also
// drives the main display.
bool isAppleSiliconModel(const QString& model);

// Gathers what the health is read from, without changing anything: `listing` is what a probe
// of the backend's processes found just before, `model` the hardware model already read. For
// tiny-dfr, the Touch Bar's devices under `root` (/sys lies there), the kernel's modules and
// release (`root`/proc), the unit and its bound devices as `systemctl show` reports them (two
// runs), the journal's lines of the unit's invocation, and the kernel's where the devices show a
// T2's Touch Bar device or display card gone (one or two runs). For macOS's services, whether
// the system sees the Touch Bar's display when the main service is not seen.
Observation observeHealth(const Backend& backend, const ToolSession& tools, const QString& root,
                          const QString& model, const ProcessListing& listing);

// The health `seen` shows, decided from it alone. For tiny-dfr: the Touch Bar's USB devices
// (T2 models) and, with the kernel's lines, the T2 bridge; the display's USB configuration; the
// drivers of its display card and its backlight; then the unit, its bound devices, the daemon's
// process and its lines. A daemon that runs is "working" only when its lines were read and hold
// no panic; a user who may not read them gets JournalUnread and a hint on how to grant it. For
// macOS's services: whether the main service runs, and whether the system sees the Touch Bar's
// display. Something missing where it must be, unreadable or garbled gives Unknown with the reason,
// never a guess.
Health classifyHealth(const Backend& backend, const Observation& seen);

// Which of the processes `seen` lists under `name` are the backend's own: for tiny-dfr the
// unit's main process and root's, never another user's; for macOS's services every one.
RunningProcesses ownProcesses(const Backend& backend, const Observation& seen, const QString& name);

// Logs `health` as a short section headed "🩺 Touch Bar health <when>:".
void logHealth(Log& log, const QString& when, const Health& health);

} // namespace corvane
