#include "core/AdministratorFix.h"

#include <QFileInfo>

namespace corvane {

std::optional<TouchBarError> fixAsAdministrator(const ToolSession& tools, administrator::Fix fix,
                                                const QStringList& names) {
    using namespace administrator;
    Log& log = tools.log();
    const Prompt prompt = tools.services().prompt;
    const Command command = administrator::command(prompt, fix, names);
    if (command.program.isEmpty()) {
        log.writeLine(QStringLiteral("   ❌ No administrator's way to ") + verb(fix) +
                      QStringLiteral(" on this system"));
        return TouchBarError::serviceRestartFailed();
    }
    log.writeLine(QStringLiteral("🔒 Asking for administrator rights to ") + verb(fix));
    log.writeLine(QStringLiteral("   Running: ") + command.program + QLatin1Char(' ') +
                  command.arguments.join(QLatin1Char(' ')));
    const ToolOutcome outcome = tools.run(command.program, command.arguments, Echo::Output,
                                          promptTimeLimit + administratorTimeLimit);
    const QString words = toolWords(outcome.standardError).trimmed();
    if (outcome.launched() && !outcome.timedOut) {
        log.writeLine(QStringLiteral("   ") + QFileInfo(command.program).fileName() +
                      QStringLiteral(" returned: ") + QString::number(outcome.exitStatus));
        // The prompt's and the helper's own words, whatever they say: they are the record of
        // what was asked and what ran.
        for (const QString& line : words.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            log.writeLine(QStringLiteral("   | ") + line);
    }
    // Granted, and what it ran as root then outlived every limit: it cannot be stopped from
    // here, and is left to end on its own.
    if (outcome.stillRunning) {
        return TouchBarError::unknown(
            QStringLiteral("The fix as administrator (") + verb(fix) +
            QStringLiteral(") is still running and could not be stopped. Try again once it has "
                           "ended."));
    }
    switch (administrator::outcome(prompt, outcome)) {
    case Outcome::Done:
        log.writeLine(QStringLiteral("   ✅ Done as administrator: ") + verb(fix));
        return std::nullopt;
    case Outcome::Dismissed:
        log.writeLine(QStringLiteral("   ❌ Administrator rights were not granted"));
        return TouchBarError::administratorDeclined();
    case Outcome::NotAuthorized:
        log.writeLine(QStringLiteral("   ❌ Administrator rights were refused"));
        return TouchBarError::administratorDeclined(
            QStringLiteral("Administrator rights were refused: either the password was not "
                           "accepted, or polkit refused without asking for one, as its rules "
                           "may for this account or this session. The Touch Bar was not "
                           "restarted."));
    case Outcome::NoAnswer:
        log.writeLine(QStringLiteral("   ❌ Nobody answered the administrator's prompt in time"));
        return TouchBarError::administratorDeclined(
            QStringLiteral("Nobody answered the password prompt in time, so the Touch Bar was "
                           "not restarted."));
    case Outcome::NoPrompt: {
        const QString advice = noPromptAdvice(prompt, outcome);
        log.writeLine(QStringLiteral("   ❌ ") + advice);
        return TouchBarError::promptUnavailable(advice);
    }
    case Outcome::Failed:
        break;
    }
    const QString detail =
        words.isEmpty() ? QStringLiteral("it ended with status %1").arg(outcome.exitStatus) : words;
    log.writeLine(QStringLiteral("   ❌ Failed as administrator: ") + detail);
    return TouchBarError::unknown(QStringLiteral("The fix as administrator (") + verb(fix) +
                                  QStringLiteral(") failed: ") + detail);
}

} // namespace corvane
