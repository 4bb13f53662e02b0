#pragma once

#include "core/TouchBarError.h"
#include "platform/Administrator.h"
#include "platform/Services.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace corvane {

// How long a tool may run: far longer than any of them needs, so only one that hangs meets it.
inline constexpr std::chrono::seconds toolTimeLimit{5};
// How long an administrator's prompt may wait for the person at the computer, and then how
// long what it runs may take: the helper bounds each of its own steps, the longest being the
// driver reload with its waits.
inline constexpr std::chrono::minutes promptTimeLimit{5};
inline constexpr std::chrono::minutes administratorTimeLimit{1};

// What a look found under each name; nothing for a name that could not be looked for.
using ProcessListing = QHash<QString, std::optional<RunningProcesses>>;

// Which of a tool's own words reach the user: what it prints on standard output passes on to
// ours, and its complaints to our standard error unless the caller keeps them as a failure's
// detail.
enum class Echo { OutputAndErrors, Output, Nothing };

// The only place that looks for or terminates another process, and the one that runs the
// system tools. A name reaches a tool only after it passed the allow-list, and then as one
// argument of its own after "-x", so the tool matches the whole process name. The allow-list's
// names are plain: the tools read a name as a regular expression, and none of these can match
// anything but itself. A tool that runs out of time is logged, killed and counts as failed.
class ProcessControl {
public:
    explicit ProcessControl(const Services& services);
    // It keeps a reference: a temporary would be gone before the first look.
    explicit ProcessControl(Services&&) = delete;

    // Whether `name` is one of the backends' processes (macOS's six services, tiny-dfr):
    // whole-string, case-sensitive. Logs a refusal.
    bool validateProcessName(const QString& name) const;

    // The processes named exactly `name` that run; one that has ended but is not yet reaped (a
    // zombie) does not. Nothing when no probe could be made: an unlisted name runs no tool, and
    // a probe tool may fail to start or run out of time. What pgrep prints reaches our output;
    // a name longer than pgrep can match is looked for in the process table instead.
    std::optional<RunningProcesses> findProcesses(const QString& name) const;
    bool checkIfProcessRunning(const QString& name) const;

    // Sends this user's processes named exactly `name` the default termination signal; none
    // running is success. `running` is what findProcesses() found just before: another user's
    // copies are left alone, and root's, which only an administrator may end, make the result
    // PermissionDenied once this user's are ended.
    //
    // pkill reports a process it found but may not signal the same way as none at all (status
    // 1), except that it complains on its error output. So a status 1 with error output is
    // checked with one probe: a process that still runs is a failure, with that output as the
    // detail.
    //
    // A name longer than pkill can match is ended with kill, by the identifiers of this user's
    // copies that the process table names at that moment; an administrator's pkill could not
    // reach root's either, so they are left alone like another user's.
    std::optional<TouchBarError> secureKillProcess(const QString& name,
                                                   const RunningProcesses& running) const;

    // Restarts the systemd unit `unit` as this user, without a password prompt; a refusal of
    // systemd's is PermissionDenied.
    std::optional<TouchBarError> restartDaemon(const QString& unit) const;

    // Does `fix` with an administrator's rights, asking once through the services' prompt;
    // `services` are the allow-listed names StopServices ends. Each way the prompt can end has
    // its own error: dismissed or refused (AdministratorDeclined), no prompt to be shown
    // (PromptUnavailable), granted but failed (KillFailed with the helper's words).
    std::optional<TouchBarError> runAsAdministrator(administrator::Fix fix,
                                                    const QStringList& services) const;

    // Terminates the Dock, which the system relaunches.
    void restartDock() const;

    // Runs `program` within `timeLimit` and passes on what `echo` says; a tool that ran out of
    // time before counts as having run out of time again.
    ToolOutcome run(const QString& program, const QStringList& arguments, Echo echo,
                    std::chrono::milliseconds timeLimit = toolTimeLimit) const;

    // The tools that ran out of time so far, by path.
    const QStringList& timedOutTools() const { return timedOut; }

private:
    std::optional<TouchBarError> killFailure(const QString& name, const QString& detail) const;

    const Services& services;
    Log& log;
    mutable QStringList timedOut;
};

} // namespace corvane
