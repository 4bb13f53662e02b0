#pragma once

#include "platform/Administrator.h"

#include <QString>
#include <QStringList>

namespace corvane {

// What draws the Touch Bar and how a restart reaches it, as one constant description chosen
// once at start-up: the restart, the health and the administrator's fixes follow it and never
// ask which one they were given.
struct Backend {
    // How the person's own restart is made.
    enum class Restart {
        // Each process is terminated by name, and the system relaunches it.
        TerminateEach,
        // systemd restarts the unit.
        RestartUnit,
    };

    // Stable, for scripts and logs: "macos" or "tiny-dfr".
    QString key;
    // The processes listed before and after a restart, in this order.
    QStringList processes;
    // Verified after the wait; the first must be back, as a new process.
    QStringList critical;
    Restart restart;
    // The systemd unit that runs the daemon; empty for macOS's services.
    QString unit;
    // Whether a successful restart refreshes the Dock, which only macOS has.
    bool refreshesDock;
    // What an administrator does when the person's own restart was refused.
    administrator::Fix refusedFix;
};

// macOS's six Touch Bar services; also what a Linux machine without tiny-dfr is treated as.
const Backend& appleServices();
// tiny-dfr, the daemon that draws the Touch Bar under Linux, run by systemd.
const Backend& touchBarDaemon();
// tiny-dfr where it is installed under `root` (its unit file or its program), else macOS's
// services.
const Backend& systemBackend(const QString& root = QStringLiteral("/"));

} // namespace corvane
