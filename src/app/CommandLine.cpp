#include "app/CommandLine.h"

#include "app/Application.h"
#include "app/ExitStatus.h"
#include "core/Detection.h"
#include "core/LogFormat.h"
#include "core/TouchBarManager.h"
#include "core/Version.h"
#include "platform/History.h"
#include "platform/InstanceLock.h"
#include "platform/Notifier.h"
#include "platform/Observation.h"
#include "platform/Services.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvane {
namespace {

QByteArray statusJson(const QString& model, const TouchBarManager& manager,
                      const QList<QJsonObject>& history) {
    const Health& health = manager.health();
    QJsonArray services;
    for (const ServiceStatus& service : health.services)
        services.append(QJsonObject{{QStringLiteral("name"), service.name},
                                    {QStringLiteral("running"), service.running}});
    const QDateTime last = manager.lastRestartTime();
    QJsonArray entries;
    for (const QJsonObject& entry : history)
        entries.append(entry);
    const QJsonObject status{
        {QStringLiteral("model"), model},
        {QStringLiteral("touchBar"), manager.hasTouchBar()},
        {QStringLiteral("backend"), manager.backendKey().isEmpty()
                                        ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(manager.backendKey())},
        {QStringLiteral("health"), QJsonObject{{QStringLiteral("state"), healthKey(health.state)},
                                               {QStringLiteral("reason"), health.reason},
                                               {QStringLiteral("hint"), health.hint}}},
        {QStringLiteral("services"), services},
        {QStringLiteral("restartCount"), manager.restartCount()},
        {QStringLiteral("lastRestart"), last.isValid()
                                            ? QJsonValue(last.toUTC().toString(Qt::ISODate))
                                            : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("history"), entries},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

QStringList statusLines(const QString& model, const TouchBarManager& manager) {
    const Health& health = manager.health();
    QStringList services;
    for (const ServiceStatus& service : health.services)
        services << service.name + (service.running ? QStringLiteral(" running")
                                                    : QStringLiteral(" not running"));
    const QDateTime last = manager.lastRestartTime();
    const QString restarts =
        QStringLiteral("Restarts:  ") + QString::number(manager.restartCount()) +
        (last.isValid() ? QStringLiteral(", the last at ") + log::timestamp(last) : QString());
    // Without a backend there are no services to list, nor any that could be "not running".
    if (manager.backendKey().isEmpty())
        return {QStringLiteral("Touch Bar: none detected"), QStringLiteral("Model:     ") + model,
                QStringLiteral("Backend:   none: ") + health.reason, restarts};
    QStringList lines{
        QStringLiteral("Touch Bar: ") +
            (manager.hasTouchBar() ? QStringLiteral("yes") : QStringLiteral("none detected")),
        QStringLiteral("Model:     ") + model,
        QStringLiteral("Backend:   ") + manager.backendKey(),
        QStringLiteral("Health:    ") + describeHealth(health),
        QStringLiteral("Services:  ") + services.join(QStringLiteral(", ")),
        restarts,
    };
    if (!health.hint.isEmpty())
        lines << QStringLiteral("Hint:      ") + health.hint;
    return lines;
}

// An entry of the history in a few words, e.g. "fix at 2026-12-07T15:04:05Z: daemon-stopped →
// working (restart)". The file is anyone's to edit: nothing in it reaches a terminal as a control.
QString describeEntry(const QJsonObject& entry) {
    const auto text = [&](const char* key) {
        return entry.value(QLatin1String(key)).toString();
    };
    QStringList steps;
    for (const auto& step : entry.value(QLatin1String("steps")).toArray())
        steps << step.toString();
    return harmless((text("event") + QStringLiteral(" at ") + text("time") + QStringLiteral(": ") +
                     text("before") + QStringLiteral(" → ") + text("after") +
                     (steps.isEmpty() ? QString()
                                      : QStringLiteral(" (") + steps.join(QStringLiteral(", ")) +
                                            QLatin1Char(')')))
                        .toUtf8());
}

ExitStatus status(const Services& services, QSettings* settings, bool json) {
    // Only the answer reaches the output: what the detection logs on its way is dropped.
    QFile nowhere(QStringLiteral("/dev/null"));
    if (!nowhere.open(QIODevice::WriteOnly))
        return ExitStatus::CouldNotTell;
    Log dropped(nowhere.handle());
    const Services quiet{services.tools, services.modelQuery, services.clock,
                         dropped,        services.errors,     services.user};
    const QString model = getModelIdentifier(quiet.modelQuery, dropped).trimmed();
    const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(quiet, settings);
    QEventLoop loop;
    QObject::connect(manager.get(), &TouchBarManager::healthChanged, &loop, &QEventLoop::quit);
    // One task at a time on the manager's thread: the health is read after the detection.
    manager->performFullTouchBarDetection();
    manager->checkHealth();
    loop.exec();
    const History history(History::defaultPath());
    const QList<QJsonObject> recent = history.recent(5);
    if (json) {
        services.output.write(statusJson(model, *manager, recent));
    } else {
        for (const QString& line : statusLines(model, *manager))
            services.output.writeLine(line);
        if (!recent.isEmpty())
            services.output.writeLine(QStringLiteral("History:   ") + describeEntry(recent.last()));
        else if (!history.problem().isEmpty())
            services.output.writeLine(QStringLiteral("History:   not read: ") + history.problem());
    }
    // A script reading the answer must not take silence for it.
    if (!services.output.flush(std::chrono::seconds(1))) {
        services.errors.writeLine(
            QStringLiteral("The answer could not be written to standard output."));
        return ExitStatus::OutputFailed;
    }
    return statusExitStatus(manager->hasTouchBar(), manager->health().state);
}

// Starts a restart with `start` and waits for its outcome.
std::optional<TouchBarError> restart(TouchBarManager& manager, bool (TouchBarManager::*start)()) {
    std::optional<TouchBarError> outcome;
    QEventLoop loop;
    QObject::connect(&manager, &TouchBarManager::restartFinished, &loop,
                     [&](const std::optional<TouchBarError>& error) {
                         outcome = error;
                         loop.quit();
                     });
    if (!(manager.*start)())
        return TouchBarError::unknown(QStringLiteral("The restart could not be started."));
    loop.exec();
    return outcome;
}

// Tells `line` in a desktop notification, and waits until it was shown or refused.
void notify(const QString& summary, const QString& line) {
    Notifier notifier;
    QEventLoop loop;
    QObject::connect(&notifier, &Notifier::answered, &loop, &QEventLoop::quit);
    notifier.notify(summary, line, false);
    loop.exec();
}

// Restarts the Touch Bar; the closing line, which says how that ended, goes into `closing`.
ExitStatus fix(const Services& services, QSettings* settings, InstanceLock& lock,
               InstanceLock& restartLock, bool administrator, const QString& program,
               QString& closing) {
    const auto fail = [&](const QString& line) {
        services.errors.writeLine(line);
        closing = line;
    };
    lock.lock();
    switch (restartLock.lock()) {
    case InstanceLock::Status::HeldElsewhere:
        fail(QStringLiteral("Another restart of the Touch Bar is running (a window's, the "
                            "tray's or another fix%1), so it is not restarted twice at once: let "
                            "it end, and try again.")
                 .arg(restartLock.holder() > 0
                          ? QStringLiteral(", PID %1").arg(restartLock.holder())
                          : QString()));
        return ExitStatus::AlreadyRunning;
    case InstanceLock::Status::Unavailable:
        services.output.writeLine(
            QStringLiteral("   ⚠️ Could not check for other instances: ") +
            restartLock.problem());
        break;
    case InstanceLock::Status::Locked:
        break;
    }
    const std::unique_ptr<TouchBarManager> manager = makeTouchBarManager(services, settings);
    std::optional<TouchBarError> error = restart(*manager, &TouchBarManager::restartTouchBar);
    const bool refused = error && error->kind() == TouchBarError::Kind::PermissionDenied;
    if (refused && administrator)
        error = restart(*manager, &TouchBarManager::restartAsAdministrator);

    // The closing line comes after the log's, also where both reach one terminal.
    services.output.flush(std::chrono::seconds(1));
    if (!error) {
        closing = QStringLiteral("The Touch Bar was restarted (restart #%1).")
                      .arg(manager->restartCount());
        services.output.writeLine(closing);
    } else if (error->kind() == TouchBarError::Kind::PermissionDenied) {
        fail(error->errorDescription() +
             QStringLiteral(" An administrator is needed: run `%1 fix --admin` to be asked for "
                            "the password.")
                 .arg(program));
    } else {
        fail(error->errorDescription());
    }
    return fixExitStatus(error);
}

} // namespace

int runCommandLine(const QStringList& arguments, const Services& services, QSettings* settings,
                   InstanceLock& lock, InstanceLock& restartLock) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Restarts a frozen Touch Bar. Without a command, opens the window."));
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("status: tell whether the Touch Bar works.\nfix: restart the Touch Bar's "
                       "services, as the window's button does.\ntray: keep Corvane in the tray "
                       "(the menu bar on macOS), "
                       "its window hidden until opened.\nhelp: show this help."),
        QStringLiteral("[status | fix | tray | help]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With status: one JSON object instead of lines."));
    const QCommandLineOption administrator(
        QStringLiteral("admin"), QStringLiteral("With fix: ask for an administrator's password "
                                                "when the fix needs one, rather than stop."));
    const QCommandLineOption notification(
        QStringLiteral("notify"), QStringLiteral("With fix: also tell the outcome in a desktop "
                                                 "notification, for a fix started without a "
                                                 "terminal."));
    parser.addOptions({json, administrator, notification});

    const QString invoked = arguments.value(0, QStringLiteral("corvane"));
    const QString program = QFileInfo(invoked).fileName();
    const auto usage = [&](const QString& problem) {
        services.errors.writeLine(program + QStringLiteral(": ") + problem);
        services.errors.writeLine(parser.helpText().section(QLatin1Char('\n'), 0, 0));
        return static_cast<int>(ExitStatus::Usage);
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());

    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    // Qt's help option comes with --help-all, for the options of Qt's own, which a command line
    // without a display takes none of.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) ||
        command == QLatin1String("help")) {
        services.output.write((parser.helpText() + exitStatusHelp()).toUtf8());
        return 0;
    }
    if (parser.isSet(version)) {
        services.output.writeLine(program + QLatin1Char(' ') + applicationVersion);
        return 0;
    }
    if (words.size() > 1)
        return usage(QStringLiteral("unexpected argument '%1'").arg(words.at(1)));
    if (command == QLatin1String("tray"))
        return usage(QStringLiteral("tray takes no options"));
    if (command != QLatin1String("status") && command != QLatin1String("fix"))
        return usage(command.isEmpty() ? QStringLiteral("a command is needed")
                                       : QStringLiteral("unknown command '%1'").arg(command));
    if (parser.isSet(json) && command != QLatin1String("status"))
        return usage(QStringLiteral("--json goes with status only"));
    if (parser.isSet(administrator) && command != QLatin1String("fix"))
        return usage(QStringLiteral("--admin goes with fix only"));
    if (parser.isSet(notification) && command != QLatin1String("fix"))
        return usage(QStringLiteral("--notify goes with fix only"));

    if (command == QLatin1String("status"))
        return static_cast<int>(status(services, settings, parser.isSet(json)));
    QString closing;
    const ExitStatus fixed =
        fix(services, settings, lock, restartLock, parser.isSet(administrator), invoked, closing);
    if (parser.isSet(notification))
        notify(fixed == ExitStatus::Done ? QStringLiteral("Touch Bar fixed")
                                         : QStringLiteral("Touch Bar not fixed"),
               closing);
    return static_cast<int>(fixed);
}

} // namespace corvane
