#pragma once

#include <QStringList>

#include <functional>

class QSettings;

namespace corvane {

class InstanceLock;
struct Services;

// Shows `text` under `title` in a window of its own until it is dismissed; the process ends with
// `status` where no window can be shown.
using ShowAlert = std::function<void(const QString& title, const QString& text, int status)>;

// Corvane without its window: `status [--json]` tells whether the Touch Bar works, `fix
// [--admin]` restarts it as the window's button does, with the same lines on the output, `report
// [--output FILE]` writes what a bug report needs, personal details removed, and
// `help`, `--help` and `--version` say what they say everywhere; `fix --notify` also tells its
// closing line in a desktop notification, for the desktop entry and shortcuts, and with no
// notification server in an alert through `showAlert`. Answers the exit
// status, one of ExitStatus's; arguments it does not take get a usage message on the errors. `fix`
// takes `restartLock` for as long as it runs, so that two copies never restart the Touch Bar at
// once, and `lock` when it is free, so that no window opens meanwhile; a window or a tray copy that
// runs without restarting keeps no fix out. `status` only reads, and takes none. `tray`, alone, is
// the window's face; here it is listed in the help. Runs the event loop while it waits.
int runCommandLine(const QStringList& arguments, const Services& services, QSettings* settings,
                   InstanceLock& lock, InstanceLock& restartLock, const ShowAlert& showAlert);

} // namespace corvane
