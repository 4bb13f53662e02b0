#pragma once

#include "core/ToolSession.h"
#include "core/TouchBarError.h"
#include "platform/Observation.h"

#include <QHash>
#include <QList>

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
    // and its MainPID, InvocationID, ActiveEnterTimestamp and BindsTo where it gives them, then,
    // in one more run, the ActiveState of each device unit it is bound to (at most eight). Each
    // value has the form systemd writes it in; a tool that fails, answers late or leaves one of
    // the four or a bound device out gives the reason instead.
    UnitProperties properties() const;

private:
    // `keys` of each of `units`, in their order, from one `systemctl show`; on a failure
    // nothing, and `problem` says why.
    QList<QHash<QString, QString>> show(const QStringList& units, const QStringList& keys,
                                        QString& problem) const;

    const ToolSession& tools;
    const QString name;
};

} // namespace corvane
