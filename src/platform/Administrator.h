#pragma once

#include "platform/ToolRunner.h"

namespace corvane::administrator {

// What an administrator's rights are asked for: one prompt, one of these, never free text.
enum class Fix {
    // End root's copies of the Touch Bar services, which the system relaunches.
    StopServices,
    // Have systemd restart the Touch Bar daemon.
    RestartDaemon,
    // Clear the daemon's failed state and start limit, then restart it.
    ResetDaemon,
    // Select the Touch Bar display's USB configuration again (0, then 2) until its card is back,
    // then clear the daemon's failed state and start it.
    ReselectDisplay,
    // Reload the Touch Bar's drivers in order and start the daemon again.
    ReloadDrivers,
};

// The command that asks once, through the platform's own prompt, and then does `fix`: on macOS
// osascript's "with administrator privileges" running a constant shell text, on Linux pkexec
// running the helper with the fix's verb, each word an argument of its own. Empty (no program)
// where the platform has no such fix: macOS has no daemon.
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

// Where the privileged helper is installed on Linux, and the verb it takes for `fix`.
inline const QString helperPath = QStringLiteral("/usr/libexec/corvane/corvane-touchbar-helper");
QString verb(Fix fix);

// `services` are the allow-listed names StopServices ends, as root's only (those pkill can
// match whole); they are constant, so the text osascript runs is too.
Command command(Prompt prompt, Fix fix, const QStringList& services);

// How the prompt and what it ran ended.
enum class Outcome {
    // Granted, and what it ran succeeded.
    Done,
    // Granted, and what it ran failed: its words say why.
    Failed,
    // The person dismissed the prompt.
    Dismissed,
    // Refused: a wrong password, or polkit's rules refused this account or session without
    // asking; pkexec's words do not tell which.
    NotAuthorized,
    // No prompt could be shown: no authentication agent, no polkit, or no system bus.
    NoPrompt,
    // Nobody answered within the time limit.
    NoAnswer,
};
Outcome outcome(Prompt prompt, const ToolOutcome& run);

// Whether the prompt would ask nobody for `fix`: polkit, asked for this process without letting
// it ask anyone (as pkexec asks it for its caller), answers that it is allowed outright, as the
// administrator's optional rule allows. False for anything else: a password it would ask for, a
// refusal, no polkit or no answer within five seconds; and always for macOS's prompt, which
// always asks. It waits for the system bus, so call it off the GUI thread.
bool grantedUnasked(Prompt prompt, Fix fix);

// What to tell the person when no prompt could be shown, or the prompt cannot be started.
QString noPromptAdvice(Prompt prompt, const ToolOutcome& run);

} // namespace corvane::administrator
