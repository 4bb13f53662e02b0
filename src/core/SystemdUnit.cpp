#include "core/SystemdUnit.h"

#include "core/LogFormat.h"

#include <QRegularExpression>

namespace corvane {
namespace {

const QString serviceTool = QStringLiteral("/usr/bin/systemctl");
// tiny-dfr is bound to three; a unit bound to many more is not the one Corvane knows.
constexpr qsizetype boundLimit = 8;

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
    static const QStringList asked =
        needed + QStringList{QStringLiteral("MainPID"), QStringLiteral("InvocationID"),
                             QStringLiteral("ActiveEnterTimestamp"), QStringLiteral("BindsTo")};
    // Each property's value as systemd writes it; anything else is not taken.
    static const QHash<QString, QRegularExpression> forms = [] {
        const QRegularExpression word(QStringLiteral("^[a-z0-9-]{1,32}$"));
        QHash<QString, QRegularExpression> all;
        for (const QString& key : asked.first(6))
            all.insert(key, word);
        all.insert(QStringLiteral("ActiveEnterTimestamp"),
                   QRegularExpression(QStringLiteral("^[A-Za-z0-9 :+-]{1,64}$")));
        all.insert(QStringLiteral("BindsTo"),
                   QRegularExpression(QStringLiteral("^[A-Za-z0-9:_.@\\\\ -]{1,1024}$")));
        return all;
    }();
    UnitProperties read;
    const QList<QHash<QString, QString>> shown = show({name}, asked, read.problem);
    if (!read.problem.isEmpty())
        return read;
    const QHash<QString, QString>& values = shown.first();
    for (auto value = values.begin(); value != values.end(); ++value) {
        if (forms.value(value.key()).match(value.value()).hasMatch())
            read.values.insert(value.key(), value.value());
    }
    for (const QString& key : needed) {
        if (!read.values.contains(key)) {
            read.problem = QStringLiteral("systemctl show %1 gave no readable %2").arg(name, key);
            return read;
        }
    }
    QStringList devices =
        read.values.value(QStringLiteral("BindsTo")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    devices.removeIf([](const QString& unit) {
        return !unit.endsWith(QLatin1String(".device")) || unit.startsWith(QLatin1Char('-'));
    });
    if (devices.isEmpty())
        return read;
    if (devices.size() > boundLimit) {
        read.problem = name + QStringLiteral(" is bound to more devices than Corvane reads");
        return read;
    }
    // One run for all of them: systemctl prints their properties in the order asked, a blank
    // line between two units.
    QString problem;
    const QList<QHash<QString, QString>> units =
        show(devices, {QStringLiteral("Id"), QStringLiteral("ActiveState")}, problem);
    for (const QHash<QString, QString>& unit : units) {
        const QString id = unit.value(QStringLiteral("Id"));
        if (devices.contains(id) && forms.value(QStringLiteral("ActiveState"))
                                        .match(unit.value(QStringLiteral("ActiveState")))
                                        .hasMatch())
            read.boundStates.insert(id, unit.value(QStringLiteral("ActiveState")));
    }
    if (problem.isEmpty() && read.boundStates.size() != devices.size())
        problem = QStringLiteral("systemctl show gave no readable state for each of ") +
                  devices.join(QStringLiteral(", "));
    if (!problem.isEmpty()) {
        read.boundStates.clear();
        read.problem = problem;
    }
    return read;
}

QList<QHash<QString, QString>> SystemdUnit::show(const QStringList& units, const QStringList& keys,
                                                 QString& problem) const {
    const QString shown = units.join(QLatin1Char(' '));
    const ToolOutcome show =
        tools.run(serviceTool,
                  QStringList{QStringLiteral("show")} + units +
                      QStringList{QStringLiteral("--property=") + keys.join(QLatin1Char(','))},
                  Echo::Nothing);
    if (!show.launched()) {
        problem = serviceTool + QStringLiteral(" could not be run: ") +
                  show.launchError->localizedDescription;
        return {};
    }
    if (show.timedOut) {
        problem = serviceTool + QStringLiteral(" did not answer in time");
        return {};
    }
    if (show.exitStatus != 0) {
        problem = QStringLiteral("systemctl show %1 failed with status %2")
                      .arg(shown)
                      .arg(show.exitStatus);
        return {};
    }
    QList<QHash<QString, QString>> each{{}};
    for (const QByteArray& line : show.standardOutput.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.isEmpty() && !each.last().isEmpty())
            each.append(QHash<QString, QString>());
        else if (equals > 0)
            each.last().insert(QString::fromLatin1(line.left(equals)),
                               QString::fromLatin1(line.mid(equals + 1)));
    }
    return each;
}

} // namespace corvane
