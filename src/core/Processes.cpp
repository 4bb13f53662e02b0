#include "core/Processes.h"

#include "core/Backend.h"
#include "core/LogFormat.h"

#include <QFileInfo>

#include <algorithm>

namespace corvane {
namespace {

const QString probeTool = QStringLiteral("/usr/bin/pgrep");
const QString killTool = QStringLiteral("/usr/bin/pkill");
const QString signalTool = QStringLiteral("/bin/kill");
const QString stateTool = QStringLiteral("/bin/ps");
const QString exactName = QStringLiteral("-x");

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

Processes::Processes(const ToolSession& tools, const Backend& backend)
    : tools(tools)
    , readsProcessTable(backend.readsProcessTable)
    , services(tools.services())
    , log(tools.log()) {}

bool Processes::isAllowed(const QString& name) const {
    if (appleServices().processes.contains(name, Qt::CaseSensitive) ||
        touchBarDaemon().processes.contains(name, Qt::CaseSensitive))
        return true;
    log.writeLine(QStringLiteral("🔒 Process validation failed: '") + name +
                  QStringLiteral("' not in allowed list"));
    return false;
}

std::optional<RunningProcesses> Processes::find(const QString& name) const {
    if (!isAllowed(name)) {
        log.writeLine(QStringLiteral("🔒 Security: Attempted to check invalid process: '") + name +
                      QLatin1Char('\''));
        return std::nullopt;
    }
    if (readsProcessTable || !fitsProcessNameField(name)) {
        std::optional<RunningProcesses> found = services.tools.processesNamed(name);
        if (!found)
            log.writeLine(
                QStringLiteral("   ⚠️ Could not read the process table to look for ") + name);
        return found;
    }
    const ToolOutcome probe = tools.run(probeTool, {exactName, name}, Echo::OutputAndErrors);
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
    const ToolOutcome states = tools.run(stateTool,
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

bool Processes::isRunning(const QString& name) const {
    const std::optional<RunningProcesses> found = find(name);
    return found && !found->isEmpty();
}

std::optional<TouchBarError> Processes::terminate(const QString& name,
                                                  const RunningProcesses& running) const {
    if (!isAllowed(name)) {
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
        const std::optional<RunningProcesses> found = find(name);
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
    const ToolOutcome kill = tools.run(tool, arguments, Echo::Output);
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
            kill.standardError.isEmpty() ? std::nullopt : find(name);
        if (now && std::any_of(now->begin(), now->end(), [&](const RunningProcess& process) {
                return tool == killTool || arguments.contains(QString::number(process.id));
            }))
            return killFailure(name, toolWords(kill.standardError));
        log.writeLine(QStringLiteral("   ⚠️ ") + name + QStringLiteral(" was not running"));
        break;
    }
    default:
        return killFailure(name, toolWords(kill.standardError));
    }
    if (rootsRemain)
        return TouchBarError::permissionDenied(name);
    return std::nullopt;
}

std::optional<TouchBarError> Processes::killFailure(const QString& name,
                                                    const QString& detail) const {
    log.writeLine(QStringLiteral("   ❌ Failed to kill ") + name + QStringLiteral(": ") + detail);
    return TouchBarError::killFailed(name + QStringLiteral(": ") + detail);
}

} // namespace corvane
