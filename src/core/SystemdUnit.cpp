#include "core/SystemdUnit.h"

#include "core/LogFormat.h"

#include <QRegularExpression>

namespace corvane {
namespace {

const QString serviceTool = QStringLiteral("/usr/bin/systemctl");

} // namespace

SystemdUnit::SystemdUnit(const ToolSession& tools, QString name)
    : tools(tools)
    , name(std::move(name)) {}

std::optional<TouchBarError> SystemdUnit::restart() const {
    Log& log = tools.log();
    log.writeLine(QStringLiteral("📊 TOUCH_BAR_RESTART: Restarting service '") + name +
                  QStringLiteral("' at ") + log::timestamp(tools.services().clock.now()));
    log.writeLine(QStringLiteral("🔄 Attempting to restart service: ") + name);
    // Without a password prompt: polkit may let this user restart it, and if not, the
    // administrator's prompt asks once, later, when the person chose to.
    const ToolOutcome restart = tools.run(
        serviceTool, {QStringLiteral("--no-ask-password"), QStringLiteral("restart"), name},
        Echo::Output);
    QString detail;
    if (!restart.launched())
        detail = restart.launchError->localizedDescription;
    else if (restart.timedOut)
        detail = timeLimitText(serviceTool, toolTimeLimit);
    if (!detail.isEmpty()) {
        log.writeLine(QStringLiteral("   ❌ Failed to restart ") + name + QStringLiteral(": ") +
                      detail);
        return TouchBarError::killFailed(name + QStringLiteral(": ") + detail);
    }

    log.writeLine(QStringLiteral("   systemctl restart ") + name + QStringLiteral(" returned: ") +
                  QString::number(restart.exitStatus));
    if (restart.exitStatus == 0) {
        log.writeLine(QStringLiteral("   ✅ Successfully restarted ") + name);
        return std::nullopt;
    }
    detail = toolWords(restart.standardError);
    if (detail.contains(QLatin1String("Interactive authentication required")) ||
        detail.contains(QLatin1String("Access denied"))) {
        log.writeLine(QStringLiteral("   🔒 Only an administrator may restart ") + name);
        return TouchBarError::permissionDenied(name);
    }
    log.writeLine(QStringLiteral("   ❌ Failed to restart ") + name + QStringLiteral(": ") + detail);
    return TouchBarError::killFailed(name + QStringLiteral(": ") + detail);
}

UnitProperties SystemdUnit::properties() const {
    static const QStringList needed = {QStringLiteral("LoadState"), QStringLiteral("ActiveState"),
                                       QStringLiteral("SubState"), QStringLiteral("Result")};
    static const QString mainProcess = QStringLiteral("MainPID");
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9-]{1,32}$"));
    const ToolOutcome show = tools.run(serviceTool,
                                       {QStringLiteral("show"), name,
                                        QStringLiteral("--property=") +
                                            needed.join(QLatin1Char(',')) + QLatin1Char(',') +
                                            mainProcess},
                                       Echo::Nothing);
    UnitProperties read;
    if (!show.launched()) {
        read.problem = serviceTool + QStringLiteral(" could not be run: ") +
                       show.launchError->localizedDescription;
        return read;
    }
    if (show.timedOut) {
        read.problem = serviceTool + QStringLiteral(" did not answer in time");
        return read;
    }
    if (show.exitStatus != 0) {
        read.problem = QStringLiteral("systemctl show %1 failed with status %2")
                           .arg(name)
                           .arg(show.exitStatus);
        return read;
    }
    for (const QByteArray& line : show.standardOutput.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QString key = QString::fromLatin1(line.left(equals));
        const QString value = QString::fromLatin1(line.mid(equals + 1));
        if (equals > 0 && (needed.contains(key) || key == mainProcess) &&
            plain.match(value).hasMatch())
            read.values.insert(key, value);
    }
    for (const QString& key : needed) {
        if (!read.values.contains(key)) {
            read.problem = QStringLiteral("systemctl show %1 gave no readable %2").arg(name, key);
            return read;
        }
    }
    return read;
}

} // namespace corvane
