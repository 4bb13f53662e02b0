#pragma once

#include "core/ToolSession.h"
#include "core/TouchBarError.h"
#include "platform/Observation.h"

#include <optional>

namespace corvane {

// A systemd unit, as this user reaches it: the one place that runs systemctl.
class SystemdUnit {
public:
    SystemdUnit(const ToolSession& tools, QString name);

    // Has systemd restart the unit as this user, without a password prompt; a refusal of
    // systemd's is PermissionDenied.
    std::optional<TouchBarError> restart() const;

    // The unit's LoadState, ActiveState, SubState and Result as `systemctl show` reports them,
    // and its MainPID where it gives one. Each value is a short plain word or number; a tool that
    // fails, answers late or leaves one of the four out gives the reason instead.
    UnitProperties properties() const;

private:
    const ToolSession& tools;
    const QString name;
};

} // namespace corvane
