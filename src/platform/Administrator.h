#pragma once

#include "platform/ToolRunner.h"

namespace corvane::administrator {

// A command that does with an administrator's rights what a restart was refused, asking once
// through the platform's own prompt: on macOS osascript's "with administrator privileges", on
// Linux pkexec. Both are fixed: on macOS the whole shell text is a constant chosen by process
// name, on Linux each word reaches pkexec as an argument of its own; no other text enters.
struct Command {
    QString program;
    QStringList arguments;
};

enum class Prompt { Osascript, Pkexec };

#ifdef __APPLE__
inline constexpr Prompt systemPrompt = Prompt::Osascript;
#else
inline constexpr Prompt systemPrompt = Prompt::Pkexec;
#endif

// Terminates every process named exactly `name`, one of the Touch Bar services, by name as
// pkill -x does. For any other name the command is empty: it has no program.
Command terminateCommand(Prompt prompt, const QString& name);
// Restarts the systemd unit `unit` through pkexec.
Command restartCommand(const QString& unit);
// Whether the person asked declined, or could not prove they are an administrator.
bool declined(Prompt prompt, const ToolOutcome& outcome);
// What to tell the person when the prompt itself cannot be started.
QString missingPromptAdvice(Prompt prompt);

} // namespace corvane::administrator
