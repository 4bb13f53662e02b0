#include "core/ProcessControl.h"

#include "core/Backend.h"
#include "core/LogFormat.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvane {
namespace {

const QString probeTool = QStringLiteral("/usr/bin/pgrep");
const QString killTool = QStringLiteral("/usr/bin/pkill");
const QString signalTool = QStringLiteral("/bin/kill");
const QString stateTool = QStringLiteral("/bin/ps");
const QString serviceTool = QStringLiteral("/usr/bin/systemctl");
const QString exactName = QStringLiteral("-x");

// A tool's error output exactly as written, or "Unknown error" when it is not UTF-8.
QString errorDetail(const QByteArray& standardError) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString detail = decoder.decode(standardError);
    return decoder.hasError() ? QStringLiteral("Unknown error") : detail;
}

QString timeLimitText(const QString& program, std::chrono::milliseconds limit) {
    return program + QStringLiteral(" did not finish within %1 seconds and was stopped")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
}

// The numbers of `text`'s lines, skipping what is not one.
QList<qint64> processIds(const QByteArray& text) {
    QList<qint64> ids;
    for (const QByteArray& line : text.split('\n')) {
        bool isNumber = false;
        const qint64 id = line.trimmed().toLongLong(&isNumber);
        if (isNumber && id > 0)
            ids << id;
    }
    return ids;
}

} // namespace

ProcessControl::ProcessControl(const Services& services)
    : services(services)
    , log(services.output) {}

bool ProcessControl::validateProcessName(const QString& name) const {
    if (appleServices().processes.contains(name, Qt::CaseSensitive) ||
        touchBarDaemon().processes.contains(name, Qt::CaseSensitive))
        return true;
    log.writeLine(QStringLiteral("🔒 Process validation failed: '") + name +
                  QStringLiteral("' not in allowed list"));
    return false;
}

ToolOutcome ProcessControl::run(const QString& program, const QStringList& arguments, Echo echo,
                                std::chrono::milliseconds timeLimit) const {
    // A tool that hung once would hang again: it is not started anew, and the restart ends in
    // one time limit rather than one for every run it would have made.
    if (timedOut.contains(program)) {
        ToolOutcome skipped;
        skipped.timedOut = true;
        return skipped;
    }
    ToolOutcome outcome = services.tools.run(program, arguments, timeLimit);
    // A tool that is there but could not be run, for want of descriptors or processes, would
    // leave a probe reading as "not running" without a word; a missing one is its caller's to tell.
    if (!outcome.launched() &&
        outcome.launchError->localizedDescription != QString::fromLocal8Bit(std::strerror(ENOENT)))
        log.writeLine(QStringLiteral("   ⚠️ Could not run ") + program + QStringLiteral(": ") +
                      outcome.launchError->localizedDescription);
    if (echo != Echo::Nothing)
        services.output.write(outcome.standardOutput);
    if (echo == Echo::OutputAndErrors)
        services.errors.write(outcome.standardError);
    if (outcome.timedOut) {
        log.writeLine(
            QStringLiteral("   ⚠️ ") +
            (outcome.stillRunning
                 ? program +
                       QStringLiteral(" did not finish within %1 seconds and "
                                      "could not be stopped")
                           .arg(std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count())
                 : timeLimitText(program, timeLimit)));
        timedOut << program;
    }
    return outcome;
}

std::optional<RunningProcesses> ProcessControl::findProcesses(const QString& name) const {
    if (!validateProcessName(name)) {
        log.writeLine(QStringLiteral("🔒 Security: Attempted to check invalid process: '") + name +
                      QLatin1Char('\''));
        return std::nullopt;
    }
    if (!fitsProcessNameField(name)) {
        std::optional<RunningProcesses> found = services.tools.processesNamed(name);
        if (!found)
            log.writeLine(
                QStringLiteral("   ⚠️ Could not read the process table to look for ") + name);
        return found;
    }
    const ToolOutcome probe = run(probeTool, {exactName, name}, Echo::OutputAndErrors);
    if (!probe.launched() || probe.timedOut)
        return std::nullopt;
    if (probe.exitStatus != 0)
        return RunningProcesses();

    // pgrep also lists a process that has ended but that its parent has not reaped yet, and
    // does not say whose a process is: ps tells both. Without its answer, whatever pgrep found
    // counts as running, and as ours.
    const QList<qint64> ids = processIds(probe.standardOutput);
    RunningProcesses found;
    for (const qint64 id : ids)
        found << RunningProcess{id, services.user};
    if (ids.isEmpty())
        return found << RunningProcess{0, services.user};
    QStringList idList;
    for (const qint64 id : ids)
        idList << QString::number(id);
    const ToolOutcome states = run(stateTool,
                                   {QStringLiteral("-o"), QStringLiteral("pid=,uid=,stat="),
                                    QStringLiteral("-p"), idList.join(QLatin1Char(','))},
                                   Echo::Nothing);
    if (!states.launched() || states.timedOut)
        return found;
    found.clear();
    for (const QByteArray& line : states.standardOutput.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool validId = false;
        bool validOwner = false;
        const qint64 id = fields.value(0).toLongLong(&validId);
        const uint owner = fields.value(1).toUInt(&validOwner);
        if (validId && validOwner && ids.contains(id) && !fields.value(2).startsWith('Z'))
            found << RunningProcess{id, static_cast<uid_t>(owner)};
    }
    return found;
}

bool ProcessControl::checkIfProcessRunning(const QString& name) const {
    const std::optional<RunningProcesses> found = findProcesses(name);
    return found && !found->isEmpty();
}

std::optional<TouchBarError>
ProcessControl::secureKillProcess(const QString& name, const RunningProcesses& running) const {
    if (!validateProcessName(name)) {
        const TouchBarError error = TouchBarError::securityViolation(
            QStringLiteral("Invalid process name: '") + name + QLatin1Char('\''));
        log.writeLine(QStringLiteral("🔒 Security violation: ") + error.errorDescription());
        return error;
    }

    log.writeLine(QStringLiteral("📊 TOUCH_BAR_RESTART: Killing process '") + name +
                  QStringLiteral("' at ") + log::timestamp(services.clock.now()));
    log.writeLine(QStringLiteral("🔄 Attempting to kill process: ") + name);

    // Another user's copy is theirs to keep: only root's stands in the way of the restart, and
    // only where an administrator's pkill can match its name.
    bool rootsRemain = false;
    for (const RunningProcess& process : running) {
        if (process.owner == services.user)
            continue;
        const bool administratorsToEnd = process.owner == 0 && fitsProcessNameField(name);
        rootsRemain |= administratorsToEnd;
        log.writeLine(
            administratorsToEnd
                ? QStringLiteral("   🔒 %1 (PID %2) belongs to the system: only an "
                                 "administrator may restart it")
                      .arg(name)
                      .arg(process.id)
                : QStringLiteral("   ⚠️ %1 (PID %2) belongs to another user (UID %3): "
                                 "left alone")
                      .arg(name)
                      .arg(process.id)
                      .arg(process.owner));
    }

    QString tool = killTool;
    QStringList arguments{QStringLiteral("-U"), QString::number(services.user), exactName, name};
    // pkill would match none of a longer name: this user's copies that the process table
    // names now are ended by their identifiers.
    if (!fitsProcessNameField(name)) {
        const std::optional<RunningProcesses> found = findProcesses(name);
        if (!found)
            return killFailure(name, QStringLiteral("the process table could not be read"));
        tool = signalTool;
        arguments = {QStringLiteral("-TERM")};
        for (const RunningProcess& process : *found) {
            if (process.owner == services.user)
                arguments << QString::number(process.id);
        }
        if (arguments.size() == 1) {
            log.writeLine(QStringLiteral("   ⚠️ ") + name + QStringLiteral(" was not running"));
            return std::nullopt;
        }
    }
    const ToolOutcome kill = run(tool, arguments, Echo::Output);
    if (!kill.launched()) {
        const QString description = kill.launchError->localizedDescription;
        log.writeLine(QStringLiteral("   ❌ Exception killing ") + name + QStringLiteral(": ") +
                      description);
        return TouchBarError::killFailed(name + QStringLiteral(": ") + description);
    }
    if (kill.timedOut)
        return killFailure(name, timeLimitText(tool, toolTimeLimit));

    log.writeLine(QStringLiteral("   ") + QFileInfo(tool).fileName() + QLatin1Char(' ') + name +
                  QStringLiteral(" returned: ") + QString::number(kill.exitStatus));
    switch (kill.exitStatus) {
    case 0:
        log.writeLine(QStringLiteral("   ✅ Successfully killed ") + name);
        break;
    case 1: {
        // A complaint: whether what could not be signalled lives on. kill names what it was
        // given, so only those count; a copy the system relaunched meanwhile is no failure.
        const std::optional<RunningProcesses> now =
            kill.standardError.isEmpty() ? std::nullopt : findProcesses(name);
        if (now && std::any_of(now->begin(), now->end(), [&](const RunningProcess& process) {
                return tool == killTool || arguments.contains(QString::number(process.id));
            }))
            return killFailure(name, errorDetail(kill.standardError));
        log.writeLine(QStringLiteral("   ⚠️ ") + name + QStringLiteral(" was not running"));
        break;
    }
    default:
        return killFailure(name, errorDetail(kill.standardError));
    }
    if (rootsRemain)
        return TouchBarError::permissionDenied(name);
    return std::nullopt;
}

std::optional<TouchBarError> ProcessControl::killFailure(const QString& name,
                                                         const QString& detail) const {
    log.writeLine(QStringLiteral("   ❌ Failed to kill ") + name + QStringLiteral(": ") + detail);
    return TouchBarError::killFailed(name + QStringLiteral(": ") + detail);
}

std::optional<TouchBarError> ProcessControl::restartDaemon(const QString& unit) const {
    log.writeLine(QStringLiteral("📊 TOUCH_BAR_RESTART: Restarting service '") + unit +
                  QStringLiteral("' at ") + log::timestamp(services.clock.now()));
    log.writeLine(QStringLiteral("🔄 Attempting to restart service: ") + unit);
    // Without a password prompt: polkit may let this user restart it, and if not, the
    // administrator's prompt asks once, later, when the person chose to.
    const ToolOutcome restart =
        run(serviceTool, {QStringLiteral("--no-ask-password"), QStringLiteral("restart"), unit},
            Echo::Output);
    QString detail;
    if (!restart.launched())
        detail = restart.launchError->localizedDescription;
    else if (restart.timedOut)
        detail = timeLimitText(serviceTool, toolTimeLimit);
    if (!detail.isEmpty()) {
        log.writeLine(QStringLiteral("   ❌ Failed to restart ") + unit + QStringLiteral(": ") +
                      detail);
        return TouchBarError::killFailed(unit + QStringLiteral(": ") + detail);
    }

    log.writeLine(QStringLiteral("   systemctl restart ") + unit + QStringLiteral(" returned: ") +
                  QString::number(restart.exitStatus));
    if (restart.exitStatus == 0) {
        log.writeLine(QStringLiteral("   ✅ Successfully restarted ") + unit);
        return std::nullopt;
    }
    detail = errorDetail(restart.standardError);
    if (detail.contains(QLatin1String("Interactive authentication required")) ||
        detail.contains(QLatin1String("Access denied"))) {
        log.writeLine(QStringLiteral("   🔒 Only an administrator may restart ") + unit);
        return TouchBarError::permissionDenied(unit);
    }
    log.writeLine(QStringLiteral("   ❌ Failed to restart ") + unit + QStringLiteral(": ") + detail);
    return TouchBarError::killFailed(unit + QStringLiteral(": ") + detail);
}

std::optional<TouchBarError> ProcessControl::runAsAdministrator(administrator::Fix fix,
                                                                const QStringList& names) const {
    using namespace administrator;
    const Command command = administrator::command(services.prompt, fix, names);
    if (command.program.isEmpty()) {
        log.writeLine(QStringLiteral("   ❌ No administrator's way to ") + verb(fix) +
                      QStringLiteral(" on this system"));
        return TouchBarError::serviceRestartFailed();
    }
    log.writeLine(QStringLiteral("🔒 Asking for administrator rights to ") + verb(fix));
    log.writeLine(QStringLiteral("   Running: ") + command.program + QLatin1Char(' ') +
                  command.arguments.join(QLatin1Char(' ')));
    const ToolOutcome outcome = run(command.program, command.arguments, Echo::Output,
                                    promptTimeLimit + administratorTimeLimit);
    const QString words = errorDetail(outcome.standardError).trimmed();
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
    switch (administrator::outcome(services.prompt, outcome)) {
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
        const QString advice = noPromptAdvice(services.prompt, outcome);
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

void ProcessControl::restartDock() const {
    const ToolOutcome dock =
        run(QStringLiteral("/usr/bin/killall"), {QStringLiteral("Dock")}, Echo::OutputAndErrors);
    // killall fails when no Dock runs, which leaves nothing to refresh either.
    if (!dock.launched())
        log.writeLine(QStringLiteral("   ⚠️ Could not restart Dock: ") +
                      dock.launchError->fullText);
    else if (!dock.timedOut)
        log.writeLine(QStringLiteral("   ✅ Restarted Dock to refresh Touch Bar"));
}

} // namespace corvane
