#pragma once

#include <QList>
#include <QString>

namespace corvane {

// Whether the Touch Bar works, and if not, what was seen.
enum class HealthState {
    Working,
    DaemonStopped,
    DaemonFailed,
    DisplayDriverGone,
    HardwareMissing,
    Unknown
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

// A stable key for scripts: "working", "daemon-stopped", "daemon-failed",
// "display-driver-gone", "hardware-missing", "unknown".
QString healthKey(HealthState state);
// The health in plain words for people, e.g. "The Touch Bar works."
QString describeHealth(const Health& health);

} // namespace corvane
