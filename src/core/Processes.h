#pragma once

#include "core/Backend.h"
#include "core/ToolSession.h"
#include "core/TouchBarError.h"

#include <optional>

namespace corvane {

// The only place that looks for or terminates another process. A name reaches a tool only after
// it passed the allow-list, and then as one argument of its own after "-x", so the tool matches
// the whole process name. The allow-list's names are plain: the tools read a name as a regular
// expression, and none of these can match anything but itself.
class Processes {
public:
    // Looks for processes as `backend` says: in the process table, or with pgrep and ps.
    Processes(const ToolSession& tools, const Backend& backend);

    // Whether `name` is one of the backends' processes (macOS's six services, tiny-dfr):
    // whole-string, case-sensitive. Logs a refusal.
    bool isAllowed(const QString& name) const;

    // The processes named exactly `name` that run, not one ended but not yet reaped. Nothing
    // when no probe could be made: an unlisted name runs no tool, and a probe tool may fail to
    // start or run out of time. What pgrep prints reaches our output; a name longer than pgrep
    // can match, and any where the backend reads the process table, is looked for there.
    std::optional<RunningProcesses> find(const QString& name) const;
    bool isRunning(const QString& name) const;

    // Sends this user's processes named exactly `name` the default termination signal; none
    // running is success. `running` is what find() found just before: another user's copies
    // are left alone, and root's, which only an administrator may end, make the result
    // PermissionDenied once this user's are ended.
    //
    // pkill reports a process it found but may not signal the same way as none at all (status
    // 1), except that it complains on its error output. So a status 1 with error output is
    // checked with one probe: a process that still runs is a failure, with that output as the
    // detail.
    //
    // A name longer than pkill can match is ended with kill, by the ids of this user's copies
    // the process table names at that moment; root's, which no pkill reaches, are left alone.
    std::optional<TouchBarError> terminate(const QString& name,
                                           const RunningProcesses& running) const;

private:
    std::optional<TouchBarError> killFailure(const QString& name, const QString& detail) const;

    const ToolSession& tools;
    const bool readsProcessTable;
    const Services& services;
    Log& log;
};

} // namespace corvane
