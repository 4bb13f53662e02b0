#pragma once

#include "core/Health.h"
#include "core/TouchBarError.h"

#include <QString>

#include <optional>

namespace corvane {

// What the command line's exit status tells a script. The numbers are kept from release to
// release; those above 63 are sysexits.h's.
enum class ExitStatus {
    // status: the Touch Bar works; fix: it was restarted, and the restart counted; report: it was
    // written.
    Done = 0,
    // status: a Touch Bar that does not work; fix: the restart failed.
    NotWorking = 1,
    NoTouchBar = 2,
    // status: its health could not be told.
    CouldNotTell = 3,
    // fix: only an administrator may make the fix it needs, and --admin was not given.
    AdministratorNeeded = 4,
    // fix: the administrator's prompt was declined or could not be shown.
    AdministratorDeclined = 5,
    // fix: another copy, a window, the tray or a fix, is restarting the Touch Bar.
    AlreadyRunning = 6,
    // EX_USAGE: arguments it does not take.
    Usage = 64,
    // EX_OSERR: the system refused a thread or a process Corvane needs, as near the limit of
    // processes a user may run.
    SystemRefused = 71,
    // EX_IOERR: status's answer or the report could not be written.
    OutputFailed = 74,
};

// status's answer for a machine with or without a Touch Bar, in `health`. A Touch Bar whose
// hardware is gone from the bus is one that does not work, not none.
ExitStatus statusExitStatus(bool touchBar, HealthState health);
// fix's answer for a restart that ended in `error`.
ExitStatus fixExitStatus(const std::optional<TouchBarError>& error);
// The statuses as the help lists them at its end.
QString exitStatusHelp();

} // namespace corvane
