#include "platform/Administrator.h"

#include <QLatin1StringView>

#include <utility>

namespace corvane::administrator {
namespace {

// pkill by the whole name, as an unprivileged restart does, rather than launchctl kickstart by
// job label: the name is what the rest of the restart finds and verifies, and launchd
// relaunches the service either way.
constexpr std::pair<QLatin1StringView, QLatin1StringView> appleScripts[] = {
    {QLatin1StringView("TouchBarServer"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x TouchBarServer" with administrator privileges)")},
    {QLatin1StringView("NowPlayingTouchUI"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x NowPlayingTouchUI" with administrator privileges)")},
    {QLatin1StringView("ControlStrip"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x ControlStrip" with administrator privileges)")},
    {QLatin1StringView("TouchBarAgent"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x TouchBarAgent" with administrator privileges)")},
    {QLatin1StringView("TouchBarUserDevice"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x TouchBarUserDevice" with administrator privileges)")},
    {QLatin1StringView("DFRFoundation"),
     QLatin1StringView(
         R"(do shell script "/usr/bin/pkill -x DFRFoundation" with administrator privileges)")},
};

const QString pkexec = QStringLiteral("/usr/bin/pkexec");

} // namespace

Command terminateCommand(Prompt prompt, const QString& name) {
    for (const auto& [process, script] : appleScripts) {
        if (name != process)
            continue;
        if (prompt == Prompt::Osascript)
            return {QStringLiteral("/usr/bin/osascript"), {QStringLiteral("-e"), script}};
        return {pkexec, {QStringLiteral("/usr/bin/pkill"), QStringLiteral("-x"), process}};
    }
    return {};
}

Command restartCommand(const QString& unit) {
    return {pkexec, {QStringLiteral("/usr/bin/systemctl"), QStringLiteral("restart"), unit}};
}

bool declined(Prompt prompt, const ToolOutcome& outcome) {
    // osascript reports a cancelled prompt as AppleScript's "User canceled." error, -128;
    // pkexec exits 126 when the prompt was dismissed and 127 when no one could authenticate.
    if (prompt == Prompt::Osascript)
        return outcome.launched() && outcome.standardError.contains("(-128)");
    return outcome.exitedWith(126) || outcome.exitedWith(127);
}

QString missingPromptAdvice(Prompt prompt) {
    if (prompt == Prompt::Osascript)
        return QStringLiteral("Restarting as administrator needs /usr/bin/osascript, which "
                              "could not be started.");
    return QStringLiteral("Restarting as administrator needs pkexec, which is not installed. "
                          "Install the Debian package pkexec (sudo apt install pkexec), then "
                          "try again.");
}

} // namespace corvane::administrator
