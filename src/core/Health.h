#pragma once

#include "core/Backend.h"
#include "core/ToolSession.h"
#include "platform/Observation.h"

#include <QList>
#include <QString>

namespace corvane {

// Whether the Touch Bar works and, when it does not, what is wrong, in the order of the fixes
// that help: a stopped daemon restarts, a failed one is reset first, a display driver that is
// gone is reloaded, and missing hardware no restart can bring back.
enum class HealthState {
    Working,
    DaemonStopped,
    DaemonFailed,
    DisplayDriverGone,
    HardwareMissing,
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

    bool isWorking() const { return state == HealthState::Working; }
};

// The state's stable key for scripts: "working", "daemon-stopped", "daemon-failed",
// "display-driver-gone", "hardware-missing", "unknown".
QString healthKey(HealthState state);
// The state and its reason for people, e.g. "The Touch Bar's display driver is gone: no
// display card is driven by appletbdrm."
QString describeHealth(const Health& health);

// Whether `model` is one of the Apple silicon Macs with a Touch Bar, whose display driver also
// drives the main display.
bool isAppleSiliconModel(const QString& model);

// Gathers what the health is read from, without changing anything: `listing` is what a probe
// of the backend's processes found just before, `model` the hardware model already read. For
// tiny-dfr, the Touch Bar's devices under `root` (/sys lies there), and the unit as `systemctl
// show` reports it (its one tool run) where the devices leave the health open. For macOS's
// services, whether the system sees the Touch Bar's display when the main service is not seen.
Observation observeHealth(const Backend& backend, const ToolSession& tools, const QString& root,
                          const QString& model, const ProcessListing& listing);

// The health `seen` shows, decided from it alone. For tiny-dfr: the Touch Bar's USB devices
// (T2 models), the drivers of its display card and its backlight, then the unit and the daemon's
// process. For macOS's services: whether the main service runs, and whether the system sees the
// Touch Bar's display. Something missing where it must be, unreadable or garbled gives Unknown
// with the reason, never a guess.
Health classifyHealth(const Backend& backend, const Observation& seen);

// Which of the processes `seen` lists under `name` are the backend's own: for tiny-dfr the
// unit's main process and root's, never another user's; for macOS's services every one.
RunningProcesses ownProcesses(const Backend& backend, const Observation& seen,
                              const QString& name);

// Logs `health` as a short section headed "🩺 Touch Bar health <when>:".
void logHealth(Log& log, const QString& when, const Health& health);

} // namespace corvane
