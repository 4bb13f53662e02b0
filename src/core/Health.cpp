#include "core/Health.h"

namespace corvane {

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
    switch (health.state) {
    case HealthState::Working:
        return QStringLiteral("The Touch Bar works.");
    case HealthState::DaemonStopped:
        return QStringLiteral("The Touch Bar's service is not running.");
    case HealthState::DaemonFailed:
        return QStringLiteral("The Touch Bar's service has failed.");
    case HealthState::DisplayDriverGone:
        return QStringLiteral("The Touch Bar's display driver is gone.");
    case HealthState::HardwareMissing:
        return QStringLiteral("This device doesn't have a Touch Bar.");
    case HealthState::Unknown:
        return QStringLiteral("Whether the Touch Bar works could not be told: ") + health.reason;
    }
    Q_UNREACHABLE();
}

} // namespace corvane
