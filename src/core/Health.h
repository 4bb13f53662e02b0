#pragma once

#include "core/Backend.h"
#include "core/ProcessControl.h"

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

// Reads the health from what any user may read, without changing anything. For macOS's
// services: whether the main service runs, and whether the system sees the Touch Bar's display.
// For tiny-dfr: the Touch Bar's USB devices (T2 models), the drivers bound to its display card
// and backlight, the unit as `systemctl show` reports it (its one tool run) and the daemon's
// process. `root` is where /sys lies; `model` is the hardware model already read; `listing` is
// what a probe of the backend's processes found just before. A file that is missing where it
// must exist, unreadable, not a plain file, too long or garbled, or a tool that fails or answers
// something unexpected, gives Unknown with the reason, never a guess.
Health readHealth(const Backend& backend, const ProcessControl& processes, const QString& root,
                  const QString& model, const ProcessListing& listing);

// Logs `health` as a short section headed "🩺 Touch Bar health <when>:".
void logHealth(Log& log, const QString& when, const Health& health);

} // namespace corvane
