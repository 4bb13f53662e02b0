#pragma once

#include "core/ProcessControl.h"
#include "core/TouchBarError.h"

#include <QStringList>

#include <optional>

namespace corvane {

// What a restart found and did, for the manager to take over.
struct RestartReport {
    // What the restart's own detection decided, when it made one.
    std::optional<bool> touchBarPresent;
    // The outcome: none when the Touch Bar's services were restarted.
    std::optional<TouchBarError> error;
    // What the manager keeps as its last error afterwards.
    std::optional<TouchBarError> lastError;
    // What was refused for want of an administrator's rights, for a restart as administrator.
    QStringList refused;
};

// The count after one more successful restart: it stops at its largest value.
qint64 nextRestartCount(qint64 count);

// The whole restart of the Touch Bar's services, from the detection to the closing banner:
// without a Touch Bar it touches nothing; otherwise it terminates the services one after
// another (or has systemd restart the daemon), waits two seconds for the system to relaunch
// them, and only if each went away and the main one came back as a new process resets the
// Touch Bar's preferences and restarts the Dock. Every step is logged. `restartCount` is the
// count before this restart, for the closing banner. It blocks for every tool and the wait,
// and touches nothing but its arguments, so it runs off the GUI thread.
RestartReport restartTouchBarServices(const Services& services, TouchBarServices kind,
                                      qint64 restartCount);

// The same restart for `refused`, which only an administrator may restart, each through the
// platform's prompt, without detecting the Touch Bar again. A declined prompt ends it at once.
RestartReport restartAsAdministrator(const Services& services, TouchBarServices kind,
                                     const QStringList& refused, qint64 restartCount);

} // namespace corvane
