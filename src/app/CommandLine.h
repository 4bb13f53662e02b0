#pragma once

#include <QStringList>

class QSettings;

namespace corvane {

class InstanceLock;
struct Services;

// Corvane without its window: `status [--json]` tells whether the Touch Bar works, `fix
// [--admin]` restarts it as the window's button does, with the same lines on the output, and
// `help`, `--help` and `--version` say what they say everywhere. Answers the exit status, one of
// ExitStatus's; arguments it does not take get a usage message on the errors.
// `fix` takes `lock` for as long as it runs, so a window and a fix never restart the Touch
// Bar at once; `status` only reads, and takes none. Runs the event loop while it waits.
int runCommandLine(const QStringList& arguments, const Services& services, QSettings* settings,
                   InstanceLock& lock);

} // namespace corvane
