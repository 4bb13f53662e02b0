#pragma once

#include "TouchBarResult.h"

#include <QString>
#include <QStringList>

namespace corvane {

class Clock;
class LogSink;
class ToolRunner;

// The only place that looks for or terminates another process. A name reaches a tool only
// after it passed the allow-list, and then as one argument of its own after "-x", so the
// tool matches the whole process name. The allow-list's names are plain letters: the tools
// read their pattern as a regular expression, and none of these can match anything but itself.
class ProcessControl {
public:
    ProcessControl(ToolRunner& tools, LogSink& log, Clock& clock);

    // The six Touch Bar service processes, in the one order every run lists and terminates
    // them. Built in; nothing can add to it.
    const QStringList& allowedTouchBarProcesses() const { return allowList; }

    // Whether `name` is on the allow-list: whole-string, case-sensitive. Logs a refusal.
    bool validateProcessName(const QString& name) const;

    // Whether a process named exactly `name` runs. An unlisted name runs no tool, and a
    // probe that cannot run answers false. Blocks while the probe runs.
    bool checkIfProcessRunning(const QString& name) const;

    // Sends every process named exactly `name` the default termination signal, and says
    // whether that worked: no such process counts as success. Blocks while the tools run, so
    // it belongs on the background executor.
    //
    // pkill reports a process it found but was not allowed to signal the same way as no
    // process at all (status 1), except that it then complains on its error output. So a
    // status 1 with error output is checked with one probe: a process that still runs is a
    // failure, with that output as the detail.
    TouchBarResult secureKillProcess(const QString& name) const;

private:
    TouchBarResult killFailure(const QString& name, const QString& detail) const;

    ToolRunner& tools;
    LogSink& log;
    Clock& clock;
    const QStringList allowList;
};

} // namespace corvane
