#include "platform/Administrator.h"

namespace corvane::administrator {

QString verb(Fix fix) {
    switch (fix) {
    case Fix::StopServices:
        return QStringLiteral("stop-services");
    case Fix::RestartDaemon:
        return QStringLiteral("restart-daemon");
    case Fix::ResetDaemon:
        return QStringLiteral("reset-daemon");
    case Fix::ReselectDisplay:
        return QStringLiteral("reselect-display");
    case Fix::ReloadDrivers:
        return QStringLiteral("reload-drivers");
    }
    Q_UNREACHABLE();
}

Command command(Prompt prompt, Fix fix, const QStringList& services) {
    if (prompt == Prompt::Pkexec)
        return {QStringLiteral("/usr/bin/pkexec"), {helperPath, verb(fix)}};
    if (fix != Fix::StopServices)
        return {};
    // Root's copies only, as the helper does; "nothing matched" is no failure, since a service
    // may have been relaunched meanwhile, and what came back is checked afterwards anyway.
    QStringList steps;
    for (const QString& name : services) {
        if (fitsProcessNameField(name))
            steps << QStringLiteral("/usr/bin/pkill -U 0 -x ") + name;
    }
    steps << QStringLiteral("exit 0");
    return {QStringLiteral("/usr/bin/osascript"),
            {QStringLiteral("-e"), QStringLiteral("do shell script \"") +
                                       steps.join(QStringLiteral("; ")) +
                                       QStringLiteral("\" with administrator privileges")}};
}

Outcome outcome(Prompt prompt, const ToolOutcome& run) {
    if (!run.launched())
        return Outcome::NoPrompt;
    if (run.timedOut)
        return Outcome::NoAnswer;
    if (run.exitStatus == 0)
        return Outcome::Done;
    const QByteArray& words = run.standardError;
    if (prompt == Prompt::Osascript) {
        // AppleScript's "User canceled." is error -128; any other error is the script's own.
        return words.contains("(-128)") ? Outcome::Dismissed : Outcome::Failed;
    }
    // pkexec passes on the helper's own status; 126 is a dismissed prompt and 127 any refusal
    // of polkit's, told apart only by its words.
    if (run.exitStatus == 126)
        return Outcome::Dismissed;
    if (run.exitStatus != 127)
        return Outcome::Failed;
    if (words.contains("authentication agent") || words.contains("Error getting authority") ||
        words.contains("Could not connect"))
        return Outcome::NoPrompt;
    return Outcome::NotAuthorized;
}

QString noPromptAdvice(Prompt prompt, const ToolOutcome& run) {
    if (prompt == Prompt::Osascript)
        return QStringLiteral("No password prompt could be shown: /usr/bin/osascript could not be "
                              "started, so the Touch Bar was not restarted.");
    if (!run.launched())
        return QStringLiteral("No password prompt could be shown: pkexec is not installed. Install "
                              "the package pkexec (sudo apt install pkexec), then try again.");
    if (run.standardError.contains("authentication agent"))
        return QStringLiteral("No password prompt could be shown: no polkit authentication agent "
                              "is running in this session, so nobody was asked. Log in to a "
                              "desktop that starts one (GNOME, KDE Plasma and most others do), "
                              "then try again.");
    return QStringLiteral("No password prompt could be shown: polkit is not running on this "
                          "system, so nobody was asked.");
}

} // namespace corvane::administrator
