#pragma once

#include "platform/Administrator.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// What draws the Touch Bar and all a fix does to it, as one constant description chosen once at
// start-up: the detection, the restart, the health and the administrator's fixes follow it and
// never ask which one they were given.
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
    // The preference domains a successful restart deletes, so the services start clean.
    QStringList preferenceDomains;
    // Whether a successful restart refreshes the Dock, which only macOS has.
    bool refreshesDock;
    // What an administrator does when the person's own restart was refused.
    administrator::Fix refusedFix;
    // Every fix an administrator can make here; the health asks only for one of these.
    QList<administrator::Fix> fixes;
    // Whether the backend is there only while one of its critical processes runs, whatever the
    // model: macOS's services away from macOS, where only a stand-in of theirs can run them.
    bool onlyWhileRunning;
    // Whether its processes are looked for in the process table that Corvane reads itself
    // rather than with pgrep and ps: under Linux that table is /proc, which both tools read
    // anyway, and starting them took 15 ms of a health reading's 45.
    bool readsProcessTable;
};

// macOS's six Touch Bar services.
const Backend& appleServices();
// The same services on a system that is not macOS: they are there only where one of their
// critical processes runs, as in this project's tests; otherwise the machine has no backend.
const Backend& appleServicesWhereRunning();
// tiny-dfr, the daemon that draws the Touch Bar under Linux, run by systemd.
const Backend& touchBarDaemon();
// tiny-dfr where it is installed under `root` (its unit file or its program), else macOS's
// services: on macOS always, elsewhere where they run.
const Backend& systemBackend(const QString& root = QStringLiteral("/"));

} // namespace corvane
